// The data layer and packs: recording, loads and streams from disk and from
// packs, building "demo.dat", and packs that are cut short or lie.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/data.h"
#include "data/pack.h"
#include "testutil.h"

// Works in a fresh directory: "assets/" is the base path, "demo.dat" is
// written beside it.
class DataLayer : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(makeDirs(dir / "assets/sub"));
        ASSERT_EQ(chdir(dir.path().c_str()), 0);
        testing::internal::CaptureStdout();
        dataSetBasePath("assets/");
        testing::internal::GetCapturedStdout();
    }
    void TearDown() override
    {
        while (dataPacks)
            dataClosePack(dataPacks);
        dataRecording = 0;
    }
    void asset(const std::string &name, const std::string &data) { ASSERT_TRUE(writeFile(dir / ("assets/" + name), data)); }

    // Builds "demo.dat" from the names and returns what the builder printed.
    std::string build(std::vector<std::string> names)
    {
        std::vector<char *> list;
        for (std::string &n : names)
            list.push_back(n.data());
        list.push_back(nullptr);
        testing::internal::CaptureStdout();
        dataBuildPack(list.data());
        return testing::internal::GetCapturedStdout();
    }
    std::string load(const char *name)
    {
        int32_t size = dataFileSize(name);
        uint8_t *data = dataLoadFile(name);
        if (!data)
            return "<null>";
        std::string bytes((const char *)data, (size_t)size);
        free(data);
        return bytes;
    }
    TempDir dir;
};

static uint32_t le32(const std::string &s, size_t at)
{
    const unsigned char *p = (const unsigned char *)s.data() + at;
    return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24;
}

TEST_F(DataLayer, PackRoundTripServesEveryEntryWhateverTheLetterCase)
{
    asset("sub/Foo.png", "PNGDATA");
    asset("notes.txt", "hello\nworld\n");
    std::string out = build({"sub/Foo.png", "music.mp3", "notes.txt"});
    EXPECT_EQ(out, "Accepted sub/Foo.png from file list\n"
                   "Removed music.mp3 from data building\n"
                   "Accepted notes.txt from file list\n"
                   "[DATA]: Loading 0: sub/Foo.png (7)\n"
                   "[DATA]: Loading 1: notes.txt (12)\n");

    std::string pack = readFile(dir / "demo.dat");
    ASSERT_EQ(pack.size(), 8u + 2 * 272 + 7 + 12);
    EXPECT_EQ(pack.substr(0, 4), "DATA");
    EXPECT_EQ(le32(pack, 8), 1u);             // another record follows
    EXPECT_EQ(le32(pack, 8 + 272), 0u);       // the last
    EXPECT_EQ(le32(pack, 8 + 268), 552u);     // first data right after the table
    EXPECT_EQ(le32(pack, 8 + 272 + 268), 559u);
    EXPECT_EQ(pack.substr(16, 12), std::string("sub/Foo.png\0", 12)); // case kept in the file

    // Served from the pack even after the loose files are gone.
    remove((dir / "assets/sub/Foo.png").c_str());
    ASSERT_NE(dataOpenPack("demo.dat"), nullptr);
    EXPECT_EQ(load("sub/foo.PNG"), "PNGDATA");
    EXPECT_EQ(load("PROGDIR:SUB/FOO.png"), "PNGDATA");
    EXPECT_EQ(load("progdir:notes.txt"), "hello\nworld\n");
    EXPECT_EQ(dataFindEntry("progdir:"), nullptr);
    EXPECT_EQ(dataFileSize("sub/foo.png"), 7);

    DataFile *stream = dataFileOpen("NOTES.TXT");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->mode, DATA_FROM_PACK);
    char line[257];
    ASSERT_NE(dataFileGets(stream, line, 256), nullptr);
    EXPECT_STREQ(line, "hello\n");
    ASSERT_NE(dataFileGets(stream, line, 256), nullptr);
    EXPECT_STREQ(line, "world\n");
    EXPECT_EQ(dataFileGets(stream, line, 256), nullptr);
    dataFileClose(stream);
}

TEST_F(DataLayer, EarlierPackWinsAndLooseFilesServeWhatNoPackHolds)
{
    asset("a.txt", "first");
    build({"a.txt"});
    ASSERT_EQ(rename((dir / "demo.dat").c_str(), (dir / "one.dat").c_str()), 0);
    asset("a.txt", "second");
    asset("b.txt", "only in two");
    build({"a.txt", "b.txt"});
    ASSERT_NE(dataOpenPack("one.dat"), nullptr);
    ASSERT_NE(dataOpenPack("demo.dat"), nullptr);
    asset("c.txt", "loose");
    EXPECT_EQ(load("A.txt"), "first");
    EXPECT_EQ(load("b.txt"), "only in two");
    EXPECT_EQ(load("c.txt"), "loose");

    EXPECT_EQ(dataOpenPack("missing.dat"), nullptr);
    ASSERT_TRUE(writeFile(dir / "bad.dat", "DAT!xxxx"));
    EXPECT_EQ(dataOpenPack("bad.dat"), nullptr);
}

TEST_F(DataLayer, TruncatedPacksKeepTheirCompleteRecordsAndNeverReadPastTheFile)
{
    asset("one", std::string(100, '1'));
    asset("two", std::string(50, '2'));
    asset("three", std::string(20, '3'));
    build({"one", "two", "three"});
    std::string pack = readFile(dir / "demo.dat");

    struct Case {
        size_t length;
        int entries; // entries served
    } cases[] = {
        {7, -1}, {8, 0}, {8 + 271, 0}, {8 + 272, 0}, {8 + 2 * 272 + 10, 0}, {8 + 3 * 272, 0},
        {8 + 3 * 272 + 100, 1}, {8 + 3 * 272 + 149, 1}, {8 + 3 * 272 + 150, 2}, {pack.size(), 3},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(writeFile(dir / "cut.dat", pack.substr(0, c.length)));
        testing::internal::CaptureStdout();
        DataPack *opened = dataOpenPack("cut.dat");
        testing::internal::GetCapturedStdout();
        if (c.entries < 0) {
            EXPECT_EQ(opened, nullptr) << c.length;
            continue;
        }
        ASSERT_NE(opened, nullptr) << c.length;
        int count = 0;
        for (DataEntry *e = opened->entries; e; e = e->next) {
            count++;
            EXPECT_LE((long)e->offset + e->size, (long)c.length);
        }
        EXPECT_EQ(count, c.entries) << "cut at " << c.length;
        dataClosePack(opened);
    }
}

TEST_F(DataLayer, EntriesPointingOutsideThePackAreRefused)
{
    asset("a", "aaaa");
    asset("b", "bbbb");
    build({"a", "b"});
    std::string pack = readFile(dir / "demo.dat");
    struct Case {
        size_t at;
        uint32_t value;
        const char *what;
    } cases[] = {
        {8 + 264, 0x7FFFFFF0u, "huge size"},
        {8 + 264, 0xFFFFFFFFu, "negative size"},
        {8 + 268, 0xFFFFFF00u, "negative offset"},
        {8 + 268, (uint32_t)pack.size() - 2, "offset near the end"},
    };
    for (const Case &c : cases) {
        std::string bad = pack;
        for (int i = 0; i < 4; i++)
            bad[c.at + i] = (char)(c.value >> (8 * i));
        ASSERT_TRUE(writeFile(dir / "bad.dat", bad));
        testing::internal::CaptureStdout();
        DataPack *opened = dataOpenPack("bad.dat");
        std::string out = testing::internal::GetCapturedStdout();
        ASSERT_NE(opened, nullptr) << c.what;
        EXPECT_NE(out.find("lies outside the pack"), std::string::npos) << c.what;
        ASSERT_NE(opened->entries, nullptr);
        EXPECT_STREQ(opened->entries->name, "b") << c.what; // the sound entry stays
        EXPECT_EQ(opened->entries->next, nullptr);
        dataClosePack(opened);
    }
}

TEST_F(DataLayer, StreamsOverPackEntriesRefillInBlocks)
{
    std::string big(70000, '\0');
    for (size_t i = 0; i < big.size(); i++)
        big[i] = (char)(i * 7 + i / 251);
    asset("big.bin", big);
    build({"big.bin"});
    ASSERT_NE(dataOpenPack("demo.dat"), nullptr);
    DataFile *stream = dataFileOpen("big.bin");
    ASSERT_NE(stream, nullptr);
    std::vector<char> buffer(100000, 'x');
    EXPECT_EQ(dataFileRead(stream, buffer.data(), 100000), 70000);
    EXPECT_EQ(std::string(buffer.data(), 70000), big);
    EXPECT_EQ(buffer[70000], 'x');
    EXPECT_EQ(dataFileRead(stream, buffer.data(), 10), 0);
    EXPECT_EQ(dataFileRead(stream, nullptr, 10), 0);
    EXPECT_EQ(dataFileRead(nullptr, buffer.data(), 10), 0);
    dataFileClose(stream);

    // Small reads across block boundaries deliver the same bytes.
    stream = dataFileOpen("big.bin");
    std::string pieces;
    char piece[33];
    int32_t got;
    while ((got = dataFileRead(stream, piece, 33)) > 0)
        pieces.append(piece, (size_t)got);
    EXPECT_EQ(pieces, big);
    dataFileClose(stream);
}

TEST_F(DataLayer, LineReadingCutsLongLinesAndKeepsCarriageReturns)
{
    asset("long.txt", std::string(300, 'a') + "\nend\r\nlast");
    DataFile *stream = dataFileOpen("long.txt");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->mode, DATA_FROM_DISK);
    char line[257];
    ASSERT_NE(dataFileGets(stream, line, 256), nullptr);
    EXPECT_EQ(strlen(line), 256u);
    ASSERT_NE(dataFileGets(stream, line, 256), nullptr);
    EXPECT_EQ(std::string(line), std::string(44, 'a') + "\n");
    ASSERT_NE(dataFileGets(stream, line, 256), nullptr);
    EXPECT_STREQ(line, "end\r\n");
    ASSERT_NE(dataFileGets(stream, line, 256), nullptr);
    EXPECT_STREQ(line, "last");
    EXPECT_EQ(dataFileGets(stream, line, 256), nullptr);
    dataFileClose(stream);
}

TEST_F(DataLayer, LoadsEndInFourZerosAndMissingFilesSaySo)
{
    asset("empty", "");
    uint8_t *data = dataLoadFile("empty");
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data[0] | data[1] | data[2] | data[3], 0);
    free(data);

    testing::internal::CaptureStdout();
    EXPECT_EQ(dataLoadFile("nothing"), nullptr);
    EXPECT_EQ(dataFileOpen("nothing"), nullptr);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("\"LoadFile: Failed to find a file: nothing\"\n"), std::string::npos) << out;
    EXPECT_EQ(out.rfind("[dataLoadFile : ", 0), 0u) << out;
    EXPECT_NE(out.find("[dataFileOpen : "), std::string::npos) << out;
    EXPECT_EQ(dataFileSize("nothing"), 0);

    // Found relative to the working directory when the asset tree lacks it.
    ASSERT_TRUE(writeFile(dir / "beside.bin", "xyz"));
    testing::internal::CaptureStdout();
    uint8_t *any = dataLoadFileAny("beside.bin");
    testing::internal::GetCapturedStdout();
    ASSERT_NE(any, nullptr);
    EXPECT_EQ(std::string((char *)any, 4), std::string("xyz\0", 4));
    free(any);
}

TEST_F(DataLayer, RecordingKeepsFirstRequestsByteExact)
{
    asset("x.png", "x");
    dataRecording = 1;
    dataFileSize("x.png");
    dataFileSize("X.PNG");
    free(dataLoadFile("x.png"));
    dataFileSize("gone.txt");
    std::vector<std::string> names;
    for (DataName *n = openedFiles; n; n = n->next)
        names.push_back(n->name);
    EXPECT_EQ(names, (std::vector<std::string>{"x.png", "X.PNG", "gone.txt"}));
    EXPECT_EQ(dataOpenedCount(), 3);
}

TEST_F(DataLayer, BuilderKeepsTableAndDataInAgreement)
{
    asset("kept", "12345");
    asset("empty", "");
    std::string out = build({"vanished", "kept", "empty", "song.wav", "sub"});
    EXPECT_NE(out.find("[DATA]: File not found. Ignore!:vanished\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Removed song.wav from data building\n"), std::string::npos);
    EXPECT_NE(out.find("[DATA]: Failed to load file:vanished\n"), std::string::npos);
    EXPECT_NE(out.find("[DATA]: Failed to load file:empty\n"), std::string::npos);
    // A directory cannot be packed: an empty entry, never garbage.
    EXPECT_NE(out.find("[DATA]: Failed to load file:sub\n"), std::string::npos);

    ASSERT_NE(dataOpenPack("demo.dat"), nullptr);
    long expected = 8 + 4 * 272;
    for (DataEntry *e = dataPacks->entries; e; e = e->next) {
        EXPECT_EQ(e->offset, expected) << e->name;
        expected += e->size;
    }
    EXPECT_EQ(expected, (long)readFile(dir / "demo.dat").size());
    EXPECT_EQ(load("kept"), "12345");
    EXPECT_EQ(load("vanished"), "");

    // Nothing to pack: no file is written and an old one stays.
    std::string before = readFile(dir / "demo.dat");
    build({"music.mp3"});
    build({});
    EXPECT_EQ(readFile(dir / "demo.dat"), before);
}

TEST_F(DataLayer, FailedWritesLeaveTheOldFileUntouched)
{
    asset("a", "new");
    ASSERT_TRUE(writeFile(dir / "demo.dat", "old pack"));
    ASSERT_TRUE(makeDirs(dir / "demo.dat.part")); // the temporary cannot be created
    std::string out = build({"a"});
    EXPECT_NE(out.find("old pack is kept"), std::string::npos) << out;
    EXPECT_EQ(readFile(dir / "demo.dat"), "old pack");

    EXPECT_EQ(dataSaveFile("saved.bin", "abc", 3), 1);
    EXPECT_EQ(readFile(dir / "assets/saved.bin"), "abc");
    ASSERT_TRUE(makeDirs(dir / "assets/saved.bin.part"));
    testing::internal::CaptureStdout();
    EXPECT_EQ(dataSaveFile("saved.bin", "defg", 4), 0);
    std::string message = testing::internal::GetCapturedStdout();
    EXPECT_NE(message.find("Could not open file for writing:<assets/saved.bin>\\n"), std::string::npos) << message;
    EXPECT_EQ(readFile(dir / "assets/saved.bin"), "abc");
}

TEST_F(DataLayer, PacksWrittenFromMemoryReadBack)
{
    const uint8_t one[] = {1, 2, 3};
    const PackSource entries[] = {{"Tracks/One.track", one, 3}, {"empty", nullptr, 0}};
    ASSERT_EQ(dataWritePack("mem.dat", entries, 2), 1);
    ASSERT_NE(dataOpenPack("mem.dat"), nullptr);
    EXPECT_EQ(load("tracks/one.TRACK"), std::string("\1\2\3", 3));
    EXPECT_EQ(dataFileSize("empty"), 0);
    EXPECT_NE(dataFindEntry("empty"), nullptr);

    std::string longName(300, 'n');
    const PackSource bad[] = {{longName.c_str(), one, 3}};
    EXPECT_EQ(dataWritePack("bad.dat", bad, 1), 0);
    EXPECT_EQ(dataWritePack("none.dat", entries, 0), 0);
}
