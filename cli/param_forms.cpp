#include "cli/param_forms.h"

#include "cli/arg_kinds.h"
#include "control/palvex_facts.h"

namespace palvex::cli {
namespace {

// Parameters that do not take the default form of their type (VT_I2: kShort).
// 32-bit and address parameters have no default: each needs a line here
// before its method can be called from the command line. A name that means
// different things in different methods (lpBuff, Resultx) has a line per
// method.
// clang-format off
constexpr ParamForm kParamForms[] = {
    {nullptr, "RemoteIP", &kAddressOrLong, 0, nullptr, false},
    {nullptr, "lpProperty", &kText, 0, nullptr, false},
    {nullptr, "lpCmdStr", &kText, 0, nullptr, false},
    {nullptr, "lpLibFileName", &kText, 0, nullptr, false},
    {"ShowString", "lpstr", &kDisplayText, 0, nullptr, false},
    {"SendPicture", "lpBuff", &kPictureFile, 0, nullptr, false},
    {"SendProgList", "lpProgList", &kProgRecords, 0, "TotalProgNum", false},
    {"SetOrderList", "lptrList", &kShortList, 0, "count", false},
    {nullptr, "bStr", &kStringOut, 0, nullptr, false},
    {"SendModemCmd", "lpRetStr", &kTextOut, card::kModemAnswerBytes, nullptr, false},
    {"GetTime", "lpBuff", &kShortArrayOut, card::kClockShorts, nullptr, false},
    {"GetAllResult", "lpPara", &kShortArrayOut, card::kStatusRecordShorts, nullptr, false},
    {"GetTestResult", "Resultx", &kShortArrayOut, card::kTestResultShorts, nullptr, true},
    {"GetPowerState", "Resultx", &kShortArrayOut, card::kPowerStateShorts, nullptr, false},
    {"GetSendString", "lpCount", &kShortOut, 0, nullptr, false},
    {"GetSendString", "lpRetBuff", &kByteArrayOut, card::kCapturedFrameShorts, "lpCount", false},
};
// clang-format on

} // namespace

std::string TypeText(VARTYPE vt) {
    // Where a pointer is 32 bits wide, an address is a long like any other.
    if (vt == VT_ADDR && VT_ADDR != VT_I4) return "address";
    switch (vt) {
    case VT_I2:
        return "short";
    case VT_I4:
        return "long";
    case VT_I2 | VT_BYREF:
        return "short*";
    case VT_BSTR | VT_BYREF:
        return "BSTR*";
    case VT_BOOL:
        return "boolean";
    case VT_VOID:
        return "void";
    default:
        return "variant type " + std::to_string(vt);
    }
}

ParamForm FormOf(const MethodInfo& method, const MethodParam& param) {
    for (const ParamForm& f : kParamForms)
        if ((f.method == nullptr || method.name == f.method) && param.name == f.param) return f;
    if (param.vt == VT_I2) return {nullptr, param.name.c_str(), &kShort, 0, nullptr, false};
    return {nullptr, param.name.c_str(), nullptr, 0, nullptr, false};
}

bool Callable(const MethodInfo& method, std::string& why) {
    for (const MethodParam& p : method.params) {
        const ParamForm form = FormOf(method, p);
        if (form.kind == nullptr) {
            why = method.name + " cannot be called from the command line: parameter " + p.name +
                  " (" + TypeText(p.vt) + ") has no argument form";
            return false;
        }
        // The module's type information decides the type; a form made for
        // another type would pass a VARIANT the control refuses or misreads.
        if (!form.kind->Passes(p.vt)) {
            why = method.name + " cannot be called from the command line: parameter " + p.name +
                  " is " + TypeText(p.vt) + ", which its argument form cannot pass";
            return false;
        }
    }
    return true;
}

} // namespace palvex::cli
