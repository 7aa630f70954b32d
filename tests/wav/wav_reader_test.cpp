#include "wav/wav_reader.h"

#include <cerrno>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/temp_dir.h"
#include "wav/trace.h"
#include "wav_writer/wav_writer.h"

namespace vemilo {
namespace {

using testing::TempDir;
using writer::writeFile;

class TraceCapture {
public:
    TraceCapture() : previous_(setTraceSink([this](const std::string& line) { text += line; })) {}
    ~TraceCapture() { setTraceSink(previous_); }
    std::string text;

private:
    TraceSink previous_;
};

TEST(ByteOrder, AssemblesLittleEndianValues) {
    const uint8_t u32[] = {0x01, 0x02, 0x03, 0x04};
    const uint8_t u16[] = {0xFE, 0xFF};
    EXPECT_EQ(readU32LE(u32), 0x04030201u);
    EXPECT_EQ(readU16LE(u16), 0xFFFEu);
}

TEST(WavReader, LargeSparseFileHas64BitSizeAndPositions) {
    TempDir dir;
    const std::string path = dir.file("big.bin");
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 4294967306LL), 0);  // 4 GiB + 10, sparse
    ::close(fd);

    WavReader reader;
    ASSERT_EQ(reader.open(path), WavError{});
    EXPECT_EQ(reader.size(), 4294967306ull);
    EXPECT_EQ(reader.seek(0x80000000LL, SeekOrigin::Begin), 2147483648ull);
    EXPECT_EQ(reader.position(), 2147483648ull);
    EXPECT_EQ(reader.seek(0x80000000LL, SeekOrigin::Current), 4294967296ull);
    uint8_t buffer[16];
    EXPECT_EQ(reader.read(buffer, 16), 10u);
    EXPECT_EQ(reader.position(), reader.size());
}

TEST(WavReader, ShortReadAtEndThenNothing) {
    TempDir dir;
    const std::string path = dir.file("f.bin");
    writeFile(path, std::vector<uint8_t>(100, 7));
    WavReader reader;
    ASSERT_EQ(reader.open(path), WavError{});
    uint8_t buffer[16];
    reader.seek(20, SeekOrigin::Begin);
    EXPECT_EQ(reader.read(buffer, 16), 16u);
    EXPECT_EQ(reader.seek(-16, SeekOrigin::Current), 20u);
    reader.seek(90, SeekOrigin::Begin);
    EXPECT_EQ(reader.read(buffer, 16), 10u);
    EXPECT_EQ(reader.read(buffer, 16), 0u);
    EXPECT_EQ(reader.position(), 100u);
    // A seek beyond the end succeeds; the next read finds nothing.
    EXPECT_EQ(reader.seek(1000, SeekOrigin::Begin), 1000u);
    EXPECT_EQ(reader.read(buffer, 16), 0u);
    EXPECT_EQ(reader.position(), 1000u);
}

TEST(WavReader, RefusesWhatIsNotAReadableRegularFile) {
    TempDir dir;
    const int before = testing::openDescriptorCount();
    WavReader reader;
    EXPECT_EQ(reader.open(dir.file("missing.wav")), (WavError{WavProblem::CannotOpen, ENOENT, 0}));
    EXPECT_EQ(reader.open(dir.path()), (WavError{WavProblem::CannotOpen, EISDIR, 0}));  // a folder
    const std::string fifo = dir.file("pipe.wav");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(reader.open(fifo), (WavError{WavProblem::CannotOpen, 0, 0}));  // must neither block nor be read
    EXPECT_FALSE(reader.isOpen());
    EXPECT_EQ(reader.close(), 0);
    EXPECT_EQ(testing::openDescriptorCount(), before);
}

TEST(WavReader, SkipZeroBytesStopsBeforeTheFirstNonZeroByte) {
    TempDir dir;
    const std::string path = dir.file("z.bin");
    writeFile(path, {0x00, 0x00, 0x4C, 0x00});
    TraceCapture trace;
    WavReader reader;
    ASSERT_EQ(reader.open(path), WavError{});
    reader.seek(0, SeekOrigin::Begin);
    EXPECT_EQ(reader.skipZeroBytes(), 2u);
    uint8_t byte = 0;
    EXPECT_EQ(reader.read(&byte, 1), 1u);
    EXPECT_EQ(byte, 0x4C);
    EXPECT_EQ(reader.skipZeroBytes(), std::nullopt);
    EXPECT_EQ(reader.position(), reader.size());
    EXPECT_EQ(trace.text, "skip num=2 pos:2\nzeroskip err(readsize=0) 4\n");
}

TEST(WavReader, SkipZeroBytesOverALongRunAcrossBlocks) {
    TempDir dir;
    const std::string path = dir.file("z.bin");
    std::vector<uint8_t> bytes(100000, 0);
    bytes.push_back(9);
    writeFile(path, bytes);
    TraceCapture trace;
    WavReader reader;
    ASSERT_EQ(reader.open(path), WavError{});
    reader.seek(0, SeekOrigin::Begin);
    EXPECT_EQ(reader.skipZeroBytes(), 100000u);
    EXPECT_EQ(reader.position(), 100000u);
}

}  // namespace
}  // namespace vemilo
