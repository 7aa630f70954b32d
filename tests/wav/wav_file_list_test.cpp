#include "wav/wav_file_list.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"
#include "wav_writer/wav_writer.h"

namespace vemilo {
namespace {

using namespace testing;
using namespace writer;

TEST(WavFileList, MaskHiddenFoldersAndByteOrder) {
    TempDir dir;
    for (const char* name :
         {"b.wav", "A.WAV", "a.wav", "c.Wav", "é.wav", "Z.wav", ".hidden.wav", "notes.txt", "x.wavx", "wav", "m.flac",
          "m.AIFF", "m.aif", "m.Aifc", "m.w64", "m.CAF", "m.flacx", "m.mp3", "flac"}) {
        writeFile(dir.file(name), {1});
    }
    std::filesystem::create_directory(dir.file("folder.wav"));
    const auto listing = listWavFolder(dir.path());
    ASSERT_TRUE(listing);
    EXPECT_EQ(listing->names, (std::vector<std::string>{"A.WAV", "Z.wav", "a.wav", "b.wav", "c.Wav", "m.AIFF", "m.Aifc",
                                                        "m.CAF", "m.aif", "m.flac", "m.w64", "é.wav"}));
    EXPECT_EQ(listing->matchingEntries, 13u);  // the hidden file counts, the folder does not
    EXPECT_FALSE(listWavFolder(dir.file("gone")));
}

TEST(WavFileList, JoinPathAddsOneSeparator) {
    EXPECT_EQ(joinPath("/a/b", "c.wav"), "/a/b/c.wav");
    EXPECT_EQ(joinPath("/", "c.wav"), "/c.wav");
    EXPECT_EQ(joinPath("/a/", "c.wav"), "/a/c.wav");
}

}  // namespace
}  // namespace vemilo
