// The host-side loader: where it looks for the module, in which order, what
// it does with files that are missing or not modules, and how long the
// module stays loaded.
#include "control/host/palvex_loader.h"
#include "platform/registry/registry.h"
#include "tests/platform/temp_config_home.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <filesystem>
#include <string>

#ifndef PALVEX_MODULE_PATH
#error "PALVEX_MODULE_PATH must name the built module"
#endif

namespace {

using palvex::CControlLoader;
using palvex::LoaderOptions;
using palvex::ModuleSource;

// Registers `path` for the control class the way the module does.
void RegisterPath(const std::string& path) {
    palvex::reg::CRegKey key;
    ASSERT_EQ(key.Create(palvex::reg::Root::CurrentUser,
                         "SOFTWARE\\Classes\\CLSID\\" PALVEX_CLSID_TEXT "\\InprocServer32"),
              0);
    ASSERT_EQ(key.SetStringValue("", path), 0);
}

LoaderOptions BuildTreeOnly() {
    LoaderOptions o;
    o.besideProgram = false;
    o.buildTreeModule = PALVEX_MODULE_PATH;
    return o;
}

TEST(ModuleCandidates, IncludeTheBuildTreesModuleOnlyForAProgramBelowThatTree) {
    const std::string dir = palvex::ProgramDirectory();
    ASSERT_FALSE(dir.empty());
    const std::string parent = dir.substr(0, dir.rfind('/'));
    EXPECT_EQ(palvex::BuildTreeLoaderOptions(dir, "m.so").buildTreeModule, "m.so");
    EXPECT_EQ(palvex::BuildTreeLoaderOptions(parent, "m.so").buildTreeModule, "m.so");
    // A folder whose name only starts like the program's is another tree.
    EXPECT_EQ(palvex::BuildTreeLoaderOptions(dir.substr(0, dir.size() - 1), "m.so").buildTreeModule,
              "");
    EXPECT_EQ(palvex::BuildTreeLoaderOptions("/nonexistent/build", "m.so").buildTreeModule, "");
    EXPECT_EQ(palvex::BuildTreeLoaderOptions("", "m.so").buildTreeModule, "");
}

TEST(ModuleCandidates, ComeFromTheRegistryThenBesideTheProgramThenTheBuildTree) {
    testsupport::CTempConfigHome home;
    RegisterPath("/opt/palvex/lib/libpalvex.so.1");
    LoaderOptions options;
    options.buildTreeModule = "/build/control/libpalvex.so.1";
    const auto c = palvex::ModuleCandidates(CLSID_Palvex, options);
    const std::string dir = palvex::ProgramDirectory();
    ASSERT_EQ(c.size(), 4u);
    EXPECT_EQ(c[0].path, "/opt/palvex/lib/libpalvex.so.1");
    EXPECT_EQ(c[0].source, ModuleSource::Registry);
    // The installed library directory, then the program's own.
    EXPECT_EQ(c[1].source, ModuleSource::BesideProgram);
    EXPECT_TRUE(c[1].path.ends_with("/libpalvex.so.1")) << c[1].path;
    EXPECT_NE(c[1].path, dir + "/libpalvex.so.1");
    EXPECT_EQ(c[2].source, ModuleSource::BesideProgram);
    EXPECT_EQ(c[2].path, dir + "/libpalvex.so.1");
    EXPECT_EQ(c[3].path, "/build/control/libpalvex.so.1");
    EXPECT_EQ(c[3].source, ModuleSource::BuildTree);

    // A class nobody registered starts beside the program.
    EXPECT_EQ(palvex::ModuleCandidates(DIID__DPalvex, options).front().source,
              ModuleSource::BesideProgram);
}

TEST(ControlLoader, UsesTheBuildTreeModuleWhenNothingIsRegistered) {
    testsupport::CTempConfigHome home;
    CControlLoader loader(BuildTreeOnly());
    std::string error;
    const auto control = loader.CreateControl(error);
    ASSERT_NE(control, nullptr) << error;
    EXPECT_EQ(loader.Source(), ModuleSource::BuildTree);
    DISPID id = 0;
    EXPECT_EQ(control->GetIdOfName("QKSetup", &id), S_OK);
    EXPECT_EQ(id, 37);
}

TEST(ControlLoader, PrefersTheRegisteredModule) {
    testsupport::CTempConfigHome home;
    RegisterPath(PALVEX_MODULE_PATH);
    LoaderOptions options = BuildTreeOnly();
    options.buildTreeModule = "/nonexistent/libpalvex.so.1";
    CControlLoader loader(options);
    std::string error;
    ASSERT_NE(loader.CreateControl(error), nullptr) << error;
    EXPECT_EQ(loader.Source(), ModuleSource::Registry);
    EXPECT_EQ(loader.Module()->Path(), PALVEX_MODULE_PATH);
}

TEST(ControlLoader, PassesOverARegisteredFileThatIsMissingOrNoModule) {
    testsupport::CTempConfigHome home;
    RegisterPath(home.Path() + "/gone/libpalvex.so.1");
    CControlLoader missing(BuildTreeOnly());
    std::string error;
    ASSERT_NE(missing.CreateControl(error), nullptr) << error;
    EXPECT_EQ(missing.Source(), ModuleSource::BuildTree);

    const std::string notAModule = home.Path() + "/libpalvex.so.1";
    ASSERT_TRUE(testsupport::WriteFile(notAModule, "not a shared object"));
    RegisterPath(notAModule);
    CControlLoader broken(BuildTreeOnly());
    ASSERT_NE(broken.CreateControl(error), nullptr) << error;
    EXPECT_EQ(broken.Source(), ModuleSource::BuildTree);
}

TEST(ControlLoader, ListsEveryPlaceItTriedWhenNoModuleLoads) {
    testsupport::CTempConfigHome home;
    RegisterPath(home.Path() + "/gone/libpalvex.so.1");
    LoaderOptions options;
    options.besideProgram = false;
    options.buildTreeModule = home.Path() + "/also-gone.so";
    CControlLoader loader(options);
    std::string error;
    EXPECT_EQ(loader.CreateControl(error), nullptr);
    EXPECT_EQ(loader.Module(), nullptr);
    EXPECT_NE(error.find(PALVEX_CLSID_TEXT), std::string::npos) << error;
    EXPECT_NE(error.find(home.Path() + "/gone/libpalvex.so.1 (registered for the class): "
                                       "no such file"),
              std::string::npos)
        << error;
    EXPECT_NE(error.find("also-gone.so (from the build tree): no such file"), std::string::npos)
        << error;
}

TEST(ControlLoader, RefusesALibraryWithoutTheEntryPoints) {
    // The C library is a shared object, but no control module.
    std::string error;
    EXPECT_EQ(palvex::CControlModule::Load("libc.so.6", error), nullptr);
    EXPECT_NE(error.find("lacks an entry point"), std::string::npos) << error;
}

TEST(ControlLoader, KeepsTheModuleLoadedWhileAControlLives) {
    testsupport::CTempConfigHome home;
    std::unique_ptr<palvex::CControlInstance> control;
    {
        CControlLoader loader(BuildTreeOnly());
        std::string error;
        control = loader.CreateControl(error);
        ASSERT_NE(control, nullptr) << error;
        // A second control comes from the same module.
        const auto second = loader.CreateControl(error);
        ASSERT_NE(second, nullptr) << error;
        EXPECT_EQ(&second->Module(), &control->Module());
    }
    EXPECT_EQ(control->Module().CanUnloadNow(), S_FALSE);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT result{};
    EXPECT_EQ(control->Invoke(31, DISPATCH_METHOD, &none, &result, nullptr), S_OK);
    EXPECT_EQ(result.vt, VT_I2);
}

} // namespace
