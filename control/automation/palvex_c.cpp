// The C interface: a thin layer over the control's interfaces, so that it
// works the same for the control of this module and for one made by another
// module file.
#include "control/automation/palvex_c.h"

#include "control/automation/com_support.h"
#include "control/automation/control_object.h"
#include "control/automation/drawing.h"
#include "control/automation/idl_text.h"
#include "control/automation/memory_stream.h"
#include "control/automation/module_facts.h"
#include "control/automation/oleauto.h"
#include "control/automation/text_copy.h"
#include "control/automation/module.h"
#include "control/host/hosted_control.h"
#include "control/host/palvex_loader.h"
#include "control/host/variant_args.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

struct palvex_control {
    // Made by this module, or by another module file, which it keeps loaded.
    std::unique_ptr<palvex::host::IHostedControl> control;
    // The caller's trace sink (palvex_set_trace).
    palvex_trace_sink traceSink = nullptr;
    void* traceContext = nullptr;

    IDispatch* Dispatch() const { return control->Dispatch(); }
    template <class I> palvex::ComPtr<I> Query(const IID& iid) const {
        palvex::ComPtr<I> p;
        control->Dispatch()->QueryInterface(iid, p.PutVoid());
        return p;
    }
};

namespace {

thread_local std::string t_lastError;

palvex_status Fail(palvex_status status, std::string why) {
    t_lastError = std::move(why);
    return status;
}

// The 8-bit text a string of the control carries (one byte per character).
char* NarrowCopy(BSTR s) {
    const unsigned n = SysStringLen(s);
    auto* text = static_cast<char*>(std::malloc(std::size_t{n} + 1));
    if (text == nullptr) return nullptr;
    for (unsigned i = 0; i < n; ++i)
        text[i] = static_cast<char>(s[i] & 0xFF);
    text[n] = '\0';
    return text;
}

bool ToVariant(const palvex_arg& a, BSTR* textSlot, VARIANT& v) {
    using namespace palvex::host;
    switch (a.type) {
    case PALVEX_ARG_I2:
        v = ShortArg(a.value.i2);
        return true;
    case PALVEX_ARG_I4:
        v = LongArg(a.value.i4);
        return true;
    case PALVEX_ARG_ADDR:
        v = AddressArg(reinterpret_cast<const void*>(a.value.addr));
        return true;
    case PALVEX_ARG_I2_REF:
        v = ShortRefArg(a.value.i2_ref);
        return true;
    case PALVEX_ARG_TEXT_OUT:
        v = StringRefArg(textSlot);
        return true;
    default:
        v = EmptyArg();
        return false;
    }
}

palvex_status InvokeOn(palvex_control* c, DISPID id, palvex_arg* args, unsigned count,
                       palvex_result* result, unsigned* badArg) {
    if (c == nullptr || (count > 0 && args == nullptr)) return PALVEX_E_POINTER;
    std::vector<VARIANT> variants(count);
    std::vector<BSTR> texts(count, nullptr);
    for (unsigned i = 0; i < count; ++i) {
        if (args[i].type == PALVEX_ARG_TEXT_OUT) args[i].value.text = nullptr;
        // The dispatch interface takes the arguments last-first.
        if (!ToVariant(args[i], &texts[i], variants[count - 1 - i])) {
            if (badArg != nullptr) *badArg = i;
            return PALVEX_E_BAD_ARG_TYPE;
        }
    }
    DISPPARAMS params{variants.data(), nullptr, count, 0};
    VARIANT out;
    VariantInit(&out);
    unsigned argErr = 0;
    const HRESULT hr = c->control->Invoke(id, params, out, argErr);
    if (FAILED(hr)) {
        if (badArg != nullptr && argErr < count) *badArg = count - 1 - argErr;
        return hr;
    }
    palvex_status status = PALVEX_OK;
    for (unsigned i = 0; i < count; ++i) {
        if (texts[i] == nullptr) continue;
        args[i].value.text = NarrowCopy(texts[i]);
        if (args[i].value.text == nullptr) status = PALVEX_E_OUT_OF_MEMORY;
        c->control->FreeString(texts[i]);
    }
    if (result != nullptr) {
        switch (out.vt) {
        case VT_BOOL:
            *result = {PALVEX_RESULT_BOOL, out.boolVal != VARIANT_FALSE ? 1 : 0};
            break;
        case VT_I2:
            *result = {PALVEX_RESULT_I2, out.iVal};
            break;
        default:
            *result = {PALVEX_RESULT_VOID, 0};
            break;
        }
    }
    if (out.vt == VT_BSTR) c->control->FreeString(out.bstrVal);
    return status;
}

// The control's trace event in the C interface's form.
void ForwardTrace(void* context, const PALVEX_TRACE_EVENT* e) {
    const auto* c = static_cast<const palvex_control*>(context);
    if (c->traceSink == nullptr || e == nullptr) return;
    palvex_trace_event out{};
    out.link = e->link;
    out.attempt = e->attempt;
    out.max_attempts = e->maxAttempts;
    out.kind = e->kind == PALVEX_TRACE_LINK_ERROR ? PALVEX_TRACE_ERROR
               : e->kind == PALVEX_TRACE_REPLY_IN ? PALVEX_TRACE_REPLY
                                                  : PALVEX_TRACE_FRAME;
    out.data = e->data;
    out.length = e->length;
    out.wanted = e->wanted;
    out.operation = e->operation;
    out.error_kind = e->errorKind;
    out.sys_errno = e->sysErrno;
    out.text = e->text;
    c->traceSink(c->traceContext, &out);
}

} // namespace

extern "C" {

palvex_status palvex_create(const char* module_path, palvex_control** control) {
    try {
        if (control == nullptr) return Fail(PALVEX_E_POINTER, "no place for the control");
        *control = nullptr;
        auto c = std::make_unique<palvex_control>();
        if (module_path == nullptr) {
            palvex::ComPtr<IDispatch> own;
            const HRESULT hr = palvex::CreateControlObject(IID_IDispatch, own.PutVoid());
            if (FAILED(hr))
                return Fail(hr, "the control could not be created: " + palvex::HresultMessage(hr));
            c->control = palvex::host::HostDispatch(std::move(own), SysFreeString,
                                                    palvex::ModulePath(), "this module");
        } else {
            std::string error;
            auto module = palvex::CControlModule::Load(module_path, error);
            if (module == nullptr) return Fail(PALVEX_E_MODULE, error);
            HRESULT hr = S_OK;
            std::shared_ptr<palvex::CControlInstance> loaded =
                palvex::CControlInstance::Create(module, CLSID_Palvex, error, &hr);
            if (loaded == nullptr) return Fail(hr, error);
            IDispatch* dispatch = loaded->Dispatch();
            dispatch->AddRef();
            c->control = palvex::host::HostDispatch(
                palvex::ComPtr<IDispatch>::Adopt(dispatch),
                [module](BSTR s) { module->FreeString(s); }, module_path, "given",
                std::move(loaded));
        }
        t_lastError.clear();
        *control = c.release();
        return PALVEX_OK;
    } catch (...) {
        return Fail(PALVEX_E_OUT_OF_MEMORY, "out of memory");
    }
}

const char* palvex_last_error(void) {
    return t_lastError.c_str();
}

void palvex_destroy(palvex_control* control) {
    delete control;
}

palvex_status palvex_id_of_name(palvex_control* control, const char* name, int32_t* id) {
    if (control == nullptr || name == nullptr || id == nullptr) return PALVEX_E_POINTER;
    try {
        return control->control->IdOfName(name, *id);
    } catch (...) {
        return PALVEX_E_OUT_OF_MEMORY;
    }
}

palvex_status palvex_invoke(palvex_control* control, int32_t id, palvex_arg* args,
                            unsigned int count, palvex_result* result, unsigned int* bad_arg) {
    try {
        return InvokeOn(control, id, args, count, result, bad_arg);
    } catch (...) {
        return PALVEX_E_OUT_OF_MEMORY;
    }
}

palvex_status palvex_invoke_name(palvex_control* control, const char* name, palvex_arg* args,
                                 unsigned int count, palvex_result* result, unsigned int* bad_arg) {
    int32_t id = 0;
    const palvex_status status = palvex_id_of_name(control, name, &id);
    if (status != PALVEX_OK) return status;
    return palvex_invoke(control, id, args, count, result, bad_arg);
}

void palvex_free_text(char* text) {
    std::free(text);
}

palvex_status palvex_save(palvex_control* control, void* buffer, size_t capacity, size_t* length) {
    if (control == nullptr || length == nullptr) return PALVEX_E_POINTER;
    try {
        auto persist = control->Query<IPersistStreamInit>(IID_IPersistStreamInit);
        if (!persist) return E_NOINTERFACE;
        palvex::CMemoryStream* memory = palvex::CMemoryStream::Create();
        if (memory == nullptr) return PALVEX_E_OUT_OF_MEMORY;
        auto stream = palvex::ComPtr<palvex::CMemoryStream>::Adopt(memory);
        const HRESULT hr = persist->Save(stream.Get(), 1);
        if (FAILED(hr)) return hr;
        const auto& bytes = memory->Bytes();
        *length = bytes.size();
        if (bytes.size() > capacity) return PALVEX_E_BUFFER_TOO_SMALL;
        if (!bytes.empty()) std::memcpy(buffer, bytes.data(), bytes.size());
        return PALVEX_OK;
    } catch (...) {
        return PALVEX_E_OUT_OF_MEMORY;
    }
}

palvex_status palvex_load(palvex_control* control, const void* data, size_t length) {
    if (control == nullptr || (data == nullptr && length > 0)) return PALVEX_E_POINTER;
    try {
        auto persist = control->Query<IPersistStreamInit>(IID_IPersistStreamInit);
        if (!persist) return E_NOINTERFACE;
        const auto* p = static_cast<const std::uint8_t*>(data);
        palvex::CMemoryStream* memory =
            palvex::CMemoryStream::Create(std::vector<std::uint8_t>(p, p + length));
        if (memory == nullptr) return PALVEX_E_OUT_OF_MEMORY;
        auto stream = palvex::ComPtr<palvex::CMemoryStream>::Adopt(memory);
        return persist->Load(stream.Get());
    } catch (...) {
        return PALVEX_E_OUT_OF_MEMORY;
    }
}

palvex_status palvex_draw(palvex_control* control, uint8_t* rgba, int32_t width, int32_t height,
                          int32_t stride) {
    if (control == nullptr || rgba == nullptr) return PALVEX_E_POINTER;
    auto view = control->Query<IPalvexControl>(IID_IPalvexControl);
    if (!view) return E_NOINTERFACE;
    const PALVEX_CANVAS canvas = palvex::MakeCanvas(rgba, width, height, stride);
    const RECTL bounds{0, 0, width, height};
    return view->Draw(&canvas, &bounds, nullptr);
}

size_t palvex_last_link_error(palvex_control* control, char* buffer, size_t capacity) {
    return palvex::CopyText(buffer, capacity, [control] {
        return control != nullptr ? control->control->LastLinkError() : std::string();
    });
}

palvex_status palvex_set_trace(palvex_control* control, palvex_trace_sink sink, void* context) {
    if (control == nullptr) return PALVEX_E_POINTER;
    auto diagnostics = control->Query<IPalvexDiagnostics>(IID_IPalvexDiagnostics);
    if (!diagnostics) return E_NOINTERFACE;
    control->traceSink = sink;
    control->traceContext = sink != nullptr ? context : nullptr;
    IPalvexDiagnostics* d = diagnostics.Get();
    return d->SetTraceSink(sink != nullptr ? ForwardTrace : nullptr, control);
}

const char* palvex_status_text(palvex_status status) {
    return palvex::HresultText(status);
}

const palvex_version_info* palvex_version(void) {
    static const palvex_version_info kInfo = {
        {PALVEX_MODULE_VERSION},
        {PALVEX_MODULE_VERSION},
        PALVEX_MODULE_VERSION_TEXT,
        PALVEX_MODULE_VERSION_TEXT,
        PALVEX_MODULE_DESCRIPTION,
        PALVEX_MODULE_DESCRIPTION,
        PALVEX_MODULE_INTERNAL_NAME,
        PALVEX_MODULE_FILE_NAME,
        "",
        PALVEX_MODULE_LANGUAGE,
        PALVEX_MODULE_CODE_PAGE,
    };
    return &kInfo;
}

size_t palvex_typelib_text(char* buffer, size_t capacity) {
    return palvex::CopyText(buffer, capacity, [] { return palvex::PalvexIdlText(); });
}

} // extern "C"
