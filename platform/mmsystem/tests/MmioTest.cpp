#include "mmsystem.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<unsigned char>;

class Mmio : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = std::filesystem::temp_directory_path() /
                   ("mmio_test_" + std::to_string(::getpid()) + "_" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_folder);
        std::filesystem::create_directories(m_folder);
    }
    void TearDown() override { std::filesystem::remove_all(m_folder); }

    std::string Path(const char* name) const { return (m_folder / name).string(); }

    static Bytes Contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static void Put(const std::string& path, const Bytes& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    static std::uint32_t Le32(const Bytes& bytes, std::size_t at) {
        return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
               (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
    }
    static void Append(Bytes& out, const char* id, std::uint32_t size) {
        out.insert(out.end(), id, id + 4);
        for (int shift = 0; shift < 32; shift += 8) {
            out.push_back(static_cast<unsigned char>(size >> shift));
        }
    }

    static HMMIO Open(const std::string& path, DWORD flags, MMIOINFO* info = nullptr) {
        return mmioOpen(const_cast<char*>(path.c_str()), info, flags);
    }

    // A WAVE file as a compressor writes it: RIFF/WAVE, "fmt ", then "data" of the given
    // length, sizes left for mmioAscend to fix.
    void WriteWave(const std::string& path, const Bytes& format, const Bytes& data) {
        HMMIO file = Open(path, MMIO_CREATE | MMIO_WRITE);
        ASSERT_NE(file, nullptr);
        MMCKINFO riff{};
        riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
        ASSERT_EQ(mmioCreateChunk(file, &riff, MMIO_CREATERIFF), MMSYSERR_NOERROR);
        MMCKINFO fmt{};
        fmt.ckid = mmioFOURCC('f', 'm', 't', ' ');
        ASSERT_EQ(mmioCreateChunk(file, &fmt, 0), MMSYSERR_NOERROR);
        ASSERT_EQ(mmioWrite(file, reinterpret_cast<const char*>(format.data()),
                            static_cast<LONG>(format.size())),
                  static_cast<LONG>(format.size()));
        ASSERT_EQ(mmioAscend(file, &fmt, 0), MMSYSERR_NOERROR);
        MMCKINFO chunk{};
        chunk.ckid = mmioFOURCC('d', 'a', 't', 'a');
        ASSERT_EQ(mmioCreateChunk(file, &chunk, 0), MMSYSERR_NOERROR);
        // In two parts, as a converter appends its blocks.
        const LONG half = static_cast<LONG>(data.size() / 2);
        ASSERT_EQ(mmioWrite(file, reinterpret_cast<const char*>(data.data()), half), half);
        const LONG rest = static_cast<LONG>(data.size()) - half;
        ASSERT_EQ(mmioWrite(file, reinterpret_cast<const char*>(data.data()) + half, rest), rest);
        ASSERT_EQ(mmioAscend(file, &chunk, 0), MMSYSERR_NOERROR);
        ASSERT_EQ(mmioAscend(file, &riff, 0), MMSYSERR_NOERROR);
        ASSERT_EQ(mmioClose(file, 0), MMSYSERR_NOERROR);
    }

    std::filesystem::path m_folder;
};

TEST_F(Mmio, AscendFixesEverySizeAndPadsOddChunks) {
    const Bytes format(18, 0x11);
    Bytes data(1001);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<unsigned char>(i * 7);
    }
    const std::string path = Path("out.wav");
    WriteWave(path, format, data);

    const Bytes file = Contents(path);
    // 12 (RIFF, size, WAVE) + 8 + 18 + 8 + 1001 + 1 pad byte.
    ASSERT_EQ(file.size(), 12u + 8 + 18 + 8 + 1001 + 1);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
    EXPECT_EQ(Le32(file, 4), file.size() - 8);
    EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(Le32(file, 16), 18u);
    EXPECT_EQ(std::string(file.begin() + 38, file.begin() + 42), "data");
    EXPECT_EQ(Le32(file, 42), 1001u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), file.begin() + 46));
    EXPECT_EQ(file.back(), 0);
}

TEST_F(Mmio, DescendFindsTheChunksAReaderAsksFor) {
    const Bytes format(18, 0x22);
    const Bytes data(64, 0x5A);
    const std::string path = Path("in.wav");
    WriteWave(path, format, data);

    HMMIO file = Open(path, MMIO_READ | MMIO_ALLOCBUF);
    ASSERT_NE(file, nullptr);
    MMCKINFO riff{};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    ASSERT_EQ(mmioDescend(file, &riff, nullptr, MMIO_FINDRIFF), MMSYSERR_NOERROR);
    EXPECT_EQ(riff.ckid, FOURCC_RIFF);
    EXPECT_EQ(riff.dwDataOffset, 8u);
    EXPECT_EQ(mmioSeek(file, 0, MMIO_SEEK_CUR), 12);

    MMCKINFO chunk{};
    chunk.ckid = mmioFOURCC('d', 'a', 't', 'a');
    // Searching for "data" steps over "fmt ".
    ASSERT_EQ(mmioDescend(file, &chunk, &riff, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
    EXPECT_EQ(chunk.cksize, 64u);
    EXPECT_EQ(chunk.dwDataOffset, 46u);
    Bytes read(100);
    EXPECT_EQ(mmioRead(file, reinterpret_cast<char*>(read.data()), 100), 64);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), read.begin()));
    EXPECT_EQ(mmioRead(file, reinterpret_cast<char*>(read.data()), 100), 0);
    ASSERT_EQ(mmioAscend(file, &chunk, 0), MMSYSERR_NOERROR);

    // Back at the start of the form: "fmt " by position, without a search.
    ASSERT_EQ(mmioSeek(file, 12, MMIO_SEEK_SET), 12);
    MMCKINFO fmt{};
    ASSERT_EQ(mmioDescend(file, &fmt, &riff, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(fmt.ckid, mmioFOURCC('f', 'm', 't', ' '));
    EXPECT_EQ(fmt.cksize, 18u);
    ASSERT_EQ(mmioAscend(file, &fmt, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(mmioSeek(file, 0, MMIO_SEEK_CUR), 38);

    // A form of another type is not found.
    ASSERT_EQ(mmioSeek(file, 0, MMIO_SEEK_SET), 0);
    MMCKINFO avi{};
    avi.fccType = mmioFOURCC('A', 'V', 'I', ' ');
    EXPECT_EQ(mmioDescend(file, &avi, nullptr, MMIO_FINDRIFF), MMIOERR_CHUNKNOTFOUND);
    EXPECT_EQ(mmioClose(file, 0), MMSYSERR_NOERROR);
}

TEST_F(Mmio, DamagedFilesEndTheSearchInsteadOfReadingPastThem) {
    const std::string path = Path("bad.wav");
    const auto findData = [&](const Bytes& bytes) {
        Put(path, bytes);
        HMMIO file = Open(path, MMIO_READ);
        EXPECT_NE(file, nullptr);
        MMCKINFO riff{};
        riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
        MMRESULT result = mmioDescend(file, &riff, nullptr, MMIO_FINDRIFF);
        if (result == MMSYSERR_NOERROR) {
            MMCKINFO chunk{};
            chunk.ckid = mmioFOURCC('d', 'a', 't', 'a');
            result = mmioDescend(file, &chunk, &riff, MMIO_FINDCHUNK);
        }
        mmioClose(file, 0);
        return result;
    };

    EXPECT_EQ(findData({}), MMIOERR_CHUNKNOTFOUND);
    EXPECT_EQ(findData({'R', 'I', 'F', 'F', 4, 0}), MMIOERR_CHUNKNOTFOUND);

    // A "fmt " chunk whose size runs far past the end of the file.
    Bytes huge;
    Append(huge, "RIFF", 0xFFFFFFF0u);
    huge.insert(huge.end(), {'W', 'A', 'V', 'E'});
    Append(huge, "fmt ", 0xFFFFFFF0u);
    huge.resize(huge.size() + 16);
    EXPECT_EQ(findData(huge), MMIOERR_CHUNKNOTFOUND);

    // A "data" chunk that lies after the end of its parent is outside it.
    Bytes outside;
    Append(outside, "RIFF", 4 + 8 + 2);
    outside.insert(outside.end(), {'W', 'A', 'V', 'E'});
    Append(outside, "fmt ", 2);
    outside.insert(outside.end(), {1, 2});
    Append(outside, "data", 4);
    outside.insert(outside.end(), {9, 9, 9, 9});
    EXPECT_EQ(findData(outside), MMIOERR_CHUNKNOTFOUND);

    // The same with the parent's size covering it: found.
    outside[4] = static_cast<unsigned char>(4 + 8 + 2 + 8 + 4);
    EXPECT_EQ(findData(outside), MMSYSERR_NOERROR);

    // An odd-sized chunk is followed by its pad byte.
    Bytes odd;
    Append(odd, "RIFF", 4 + 8 + 3 + 1 + 8 + 2);
    odd.insert(odd.end(), {'W', 'A', 'V', 'E'});
    Append(odd, "LIST", 3);
    odd.insert(odd.end(), {'a', 'b', 'c', 0});
    Append(odd, "data", 2);
    odd.insert(odd.end(), {7, 7});
    EXPECT_EQ(findData(odd), MMSYSERR_NOERROR);
}

TEST_F(Mmio, OpenReadWriteAndSeekReportFailuresAsWinmmDoes) {
    MMIOINFO info{};
    EXPECT_EQ(Open(Path("missing.wav"), MMIO_READ, &info), nullptr);
    EXPECT_EQ(info.wErrorRet, MMIOERR_FILENOTFOUND);
    EXPECT_EQ(Open(Path("no/such/folder.wav"), MMIO_CREATE | MMIO_WRITE, &info), nullptr);
    EXPECT_NE(info.wErrorRet, 0u);
    EXPECT_EQ(Open(Path("missing.wav"), MMIO_EXIST, &info), nullptr);

    const std::string path = Path("file.bin");
    Put(path, {1, 2, 3, 4, 5});
    EXPECT_NE(Open(path, MMIO_EXIST), nullptr);

    HMMIO reading = Open(path, MMIO_READ);
    ASSERT_NE(reading, nullptr);
    char byte = 0;
    EXPECT_EQ(mmioWrite(reading, &byte, 1), -1);
    EXPECT_EQ(mmioSeek(reading, -1, MMIO_SEEK_SET), -1);
    EXPECT_EQ(mmioSeek(reading, -2, MMIO_SEEK_END), 3);
    char two[2] = {};
    EXPECT_EQ(mmioRead(reading, two, 2), 2);
    EXPECT_EQ(two[1], 5);
    EXPECT_EQ(mmioSeek(reading, 100, MMIO_SEEK_SET), 100);
    EXPECT_EQ(mmioRead(reading, two, 2), 0);
    EXPECT_EQ(mmioRead(reading, two, -1), -1);
    EXPECT_EQ(mmioClose(reading, 0), MMSYSERR_NOERROR);

    // Reading and writing alternate on one file.
    HMMIO both = Open(path, MMIO_READWRITE);
    ASSERT_NE(both, nullptr);
    EXPECT_EQ(mmioSeek(both, 1, MMIO_SEEK_SET), 1);
    EXPECT_EQ(mmioWrite(both, "xy", 2), 2);
    EXPECT_EQ(mmioRead(both, two, 2), 2);
    EXPECT_EQ(two[0], 4);
    EXPECT_EQ(mmioClose(both, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(Contents(path), (Bytes{1, 'x', 'y', 4, 5}));

    EXPECT_NE(Open(path, MMIO_DELETE), nullptr);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(mmioClose(nullptr, 0), MMIOERR_CANNOTCLOSE);
}

// Opening a FIFO waits for its other end, and a device node never ends: a name chosen for
// the compressor that leads to either is refused at once, and left where it is.
TEST_F(Mmio, OpenRefusesAFifoOrADeviceNodeWithoutWaiting) {
    const std::string fifo = Path("pipe.wav");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<std::pair<std::string, DWORD>> cases = {
        {fifo, MMIO_READ},
        {fifo, MMIO_CREATE | MMIO_WRITE},
        {fifo, MMIO_READWRITE},
        {"/dev/zero", MMIO_READ},
    };
    for (const auto& [path, flags] : cases) {
        SCOPED_TRACE(path + " " + std::to_string(flags));
        MMIOINFO info{};
        auto opening = std::async(std::launch::async, [&] { return Open(path, flags, &info); });
        const bool returned =
            opening.wait_for(std::chrono::seconds(15)) == std::future_status::ready;
        if (!returned) {
            // Both ends at once let a caller stuck on the FIFO go, so that the test fails.
            const int both = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
            ASSERT_GE(both, 0);
            opening.wait();
            ::close(both);
        }
        HMMIO file = opening.get();
        if (file != nullptr) {
            mmioClose(file, 0);
        }
        EXPECT_TRUE(returned);
        EXPECT_EQ(file, nullptr);
        EXPECT_EQ(info.wErrorRet, MMIOERR_CANNOTOPEN);
    }
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
}

TEST_F(Mmio, ListInsideRiffGetsBothSizesFixed) {
    const std::string path = Path("list.riff");
    HMMIO file = Open(path, MMIO_CREATE | MMIO_READWRITE);
    ASSERT_NE(file, nullptr);
    MMCKINFO riff{};
    riff.fccType = mmioFOURCC('T', 'E', 'S', 'T');
    ASSERT_EQ(mmioCreateChunk(file, &riff, MMIO_CREATERIFF), MMSYSERR_NOERROR);
    MMCKINFO list{};
    list.fccType = mmioFOURCC('I', 'N', 'F', 'O');
    ASSERT_EQ(mmioCreateChunk(file, &list, MMIO_CREATELIST), MMSYSERR_NOERROR);
    MMCKINFO name{};
    name.ckid = mmioFOURCC('I', 'N', 'A', 'M');
    ASSERT_EQ(mmioCreateChunk(file, &name, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(mmioWrite(file, "abc", 3), 3);
    ASSERT_EQ(mmioAscend(file, &name, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(mmioAscend(file, &list, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(mmioAscend(file, &riff, 0), MMSYSERR_NOERROR);

    // Read back through the same handle.
    ASSERT_EQ(mmioSeek(file, 0, MMIO_SEEK_SET), 0);
    MMCKINFO form{};
    form.fccType = mmioFOURCC('T', 'E', 'S', 'T');
    ASSERT_EQ(mmioDescend(file, &form, nullptr, MMIO_FINDRIFF), MMSYSERR_NOERROR);
    EXPECT_EQ(form.cksize, 4u + 12 + 8 + 4);
    MMCKINFO info{};
    info.fccType = mmioFOURCC('I', 'N', 'F', 'O');
    ASSERT_EQ(mmioDescend(file, &info, &form, MMIO_FINDLIST), MMSYSERR_NOERROR);
    EXPECT_EQ(info.cksize, 4u + 8 + 4);
    MMCKINFO inner{};
    ASSERT_EQ(mmioDescend(file, &inner, &info, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(inner.cksize, 3u);
    EXPECT_EQ(mmioClose(file, 0), MMSYSERR_NOERROR);
}

} // namespace
