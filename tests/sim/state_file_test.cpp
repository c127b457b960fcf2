// The property block kept on disk between runs.
#include "sim/state_file.h"

#include "sim_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using cardsim::LoadStateFile;
using cardsim::SaveStateFile;
using cardsim::StateLoad;

namespace {

std::string Contents(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST(SimStateFile, SavesOneHexLineAndLoadsItBack) {
    simtest::CTempDir dir;
    const std::string path = dir.File("card.state");
    const auto block = cardsim::MakePropertyBlock(512, 64, 0x81);
    std::string error;
    ASSERT_TRUE(SaveStateFile(path, block, error)) << error;
    EXPECT_EQ(Contents(path), "DDDD7200200601012000408100\n");
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    cardsim::PropertyBlock loaded{};
    EXPECT_EQ(LoadStateFile(path, loaded, error), StateLoad::Loaded);
    EXPECT_EQ(loaded, block);
}

TEST(SimStateFile, ReplacesAnOlderFile) {
    simtest::CTempDir dir;
    const std::string path = dir.File("card.state");
    std::string error;
    ASSERT_TRUE(SaveStateFile(path, cardsim::MakePropertyBlock(256, 64, 0), error));
    ASSERT_TRUE(SaveStateFile(path, cardsim::MakePropertyBlock(128, 32, 1), error));
    cardsim::PropertyBlock loaded{};
    ASSERT_EQ(LoadStateFile(path, loaded, error), StateLoad::Loaded);
    EXPECT_EQ(cardsim::BlockWidth(loaded), 128);
}

TEST(SimStateFile, TellsAMissingFileFromABrokenOne) {
    simtest::CTempDir dir;
    cardsim::PropertyBlock block = cardsim::MakePropertyBlock(256, 64, 0);
    const auto untouched = block;
    std::string error;
    EXPECT_EQ(LoadStateFile(dir.File("none"), block, error), StateLoad::Missing);
    std::ofstream(dir.File("broken")) << "not a block\n";
    EXPECT_EQ(LoadStateFile(dir.File("broken"), block, error), StateLoad::Invalid);
    EXPECT_NE(error.find("broken"), std::string::npos);
    EXPECT_EQ(block, untouched);
}

TEST(SimStateFile, ReportsAFileThatCannotBeWritten) {
    std::string error;
    EXPECT_FALSE(SaveStateFile("/nonexistent-dir/card.state", cardsim::MakePropertyBlock(1, 1, 0), error));
    EXPECT_FALSE(error.empty());
}
