// The data layer and packs: recording, loads and streams from disk and from
// packs, building "demo.dat", and packs that are cut short or lie.

#include "data/data.h"
#include "data/pack.h"
#include "testutil.h"

using Strings = std::vector<std::string>;

// Works in a fresh directory: "assets/" is the base path, "demo.dat" is
// written beside it.
class DataLayer : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(makeDirs(dir / "assets/sub"));
        ASSERT_EQ(chdir(dir.path().c_str()), 0);
        captured([] { dataSetBasePath("assets/"); });
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
        return captured([&] { dataBuildPack(list.data()); });
    }
    static DataPack *open(const char *name) // quietly
    {
        DataPack *pack = nullptr;
        return captured([&] { pack = dataOpenPack(name); }), pack;
    }
    // Every line dataFileGets gives, up to max characters each; closes the stream.
    static Strings lines(DataFile *stream, int max)
    {
        Strings out;
        char line[1024];
        while (dataFileGets(stream, line, max))
            out.push_back(line);
        dataFileClose(stream);
        return out;
    }
    // The first bytes of a load, which it frees; "<null>" for no load.
    static std::string owned(uint8_t *data, size_t bytes)
    {
        std::unique_ptr<uint8_t, decltype(&free)> freed(data, free);
        return data ? std::string((const char *)data, bytes) : "<null>";
    }
    std::string load(const char *name) { return owned(dataLoadFile(name), (size_t)dataFileSize(name)); }
    TempDir dir;
};

static uint32_t le32(const std::string &s, size_t at) { return __builtin_bswap32(be32(s, at)); }

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

    // The first record says another follows, the last that none does; the data
    // starts right after the table; names keep their letter case in the file.
    std::string pack = readFile(dir / "demo.dat");
    ASSERT_EQ(pack.size(), 8u + 2 * 272 + 7 + 12);
    EXPECT_EQ(pack.substr(0, 4), "DATA");
    EXPECT_EQ((std::vector<uint32_t>{le32(pack, 8), le32(pack, 8 + 268), le32(pack, 280), le32(pack, 280 + 268)}),
              (std::vector<uint32_t>{1, 552, 0, 559})); // each record: another follows, data offset
    EXPECT_EQ(pack.substr(16, 12), std::string("sub/Foo.png\0", 12));

    // Served from the pack even after the loose files are gone.
    remove((dir / "assets/sub/Foo.png").c_str());
    ASSERT_NE(dataOpenPack("demo.dat"), nullptr);
    EXPECT_EQ((Strings{load("sub/foo.PNG"), load("PROGDIR:SUB/FOO.png"), load("progdir:notes.txt")}),
              (Strings{"PNGDATA", "PNGDATA", "hello\nworld\n"}));
    EXPECT_EQ(dataFindEntry("progdir:"), nullptr);
    EXPECT_EQ(dataFileSize("sub/foo.png"), 7);

    DataFile *stream = dataFileOpen("NOTES.TXT");
    EXPECT_EQ(stream ? stream->mode : -1, DATA_FROM_PACK);
    EXPECT_EQ(lines(stream, 256), (Strings{"hello\n", "world\n"}));
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
    EXPECT_EQ((Strings{load("A.txt"), load("b.txt"), load("c.txt")}), (Strings{"first", "only in two", "loose"}));
    ASSERT_TRUE(writeFile(dir / "bad.dat", "DAT!xxxx"));
    EXPECT_EQ(open("missing.dat"), nullptr);
    EXPECT_EQ(open("bad.dat"), nullptr);
}

TEST_F(DataLayer, TruncatedPacksServeOnlyCompleteRecordsInsideTheFile)
{
    asset("one", std::string(100, '1'));
    asset("two", std::string(50, '2'));
    asset("three", std::string(20, '3'));
    build({"one", "two", "three"});
    std::string pack = readFile(dir / "demo.dat");

    const size_t cases[][2] = { // cut at, entries served (SIZE_MAX: no pack at all)
        {7, SIZE_MAX}, {8, 0}, {8 + 271, 0}, {8 + 3 * 272, 0}, {8 + 3 * 272 + 100, 1}, {8 + 3 * 272 + 149, 1},
        {8 + 3 * 272 + 150, 2}, {pack.size(), 3},
    };
    for (auto [length, entries] : cases) {
        SCOPED_TRACE("cut at " + std::to_string(length));
        ASSERT_TRUE(writeFile(dir / "cut.dat", pack.substr(0, length)));
        DataPack *opened = open("cut.dat");
        size_t count = 0;
        for (DataEntry *e = opened ? opened->entries : nullptr; e; e = e->next, count++)
            EXPECT_LE((long)e->offset + e->size, (long)length) << e->name;
        EXPECT_EQ(opened ? count : SIZE_MAX, entries) << "entries served";
        if (opened)
            dataClosePack(opened);
    }
}

TEST_F(DataLayer, EntriesPointingOutsideThePackAreRefused)
{
    asset("a", "aaaa");
    asset("b", "bbbb");
    build({"a", "b"});
    std::string pack = readFile(dir / "demo.dat");
    // A huge size, a negative size, a negative offset, an offset near the end.
    const uint32_t cases[][2] = {{8 + 264, 0x7FFFFFF0u}, {8 + 264, 0xFFFFFFFFu}, {8 + 268, 0xFFFFFF00u},
                                 {8 + 268, (uint32_t)pack.size() - 2}};
    for (auto [at, value] : cases) {
        SCOPED_TRACE(testing::Message() << "word at " << at << " set to " << value);
        std::string bad = pack, out;
        for (int i = 0; i < 4; i++)
            bad[at + i] = (char)(value >> (8 * i));
        ASSERT_TRUE(writeFile(dir / "bad.dat", bad));
        DataPack *opened = nullptr;
        out = captured([&] { opened = dataOpenPack("bad.dat"); });
        EXPECT_NE(out.find("lies outside the pack"), std::string::npos) << out;
        ASSERT_NE(opened, nullptr);
        // The sound entry stays.
        ASSERT_NE(opened->entries, nullptr);
        EXPECT_STREQ(opened->entries->name, "b");
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
    DataFile *stream = open("demo.dat") ? dataFileOpen("big.bin") : nullptr;
    ASSERT_NE(stream, nullptr);
    std::vector<char> buffer(100000, 'x');
    EXPECT_EQ(dataFileRead(stream, buffer.data(), 100000), 70000);
    EXPECT_EQ(std::string(buffer.data(), 70001), big + 'x'); // and nothing past the entry
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

TEST_F(DataLayer, LinesLoadsAndMissingFiles)
{
    // Line reading cuts long lines and keeps carriage returns.
    asset("long.txt", std::string(300, 'a') + "\nend\r\nlast");
    DataFile *stream = dataFileOpen("long.txt");
    EXPECT_EQ(stream ? stream->mode : -1, DATA_FROM_DISK);
    EXPECT_EQ(lines(stream, 256), (Strings{std::string(256, 'a'), std::string(44, 'a') + "\n", "end\r\n", "last"}));
    // Loads end in four zeros; missing files say so.
    asset("empty", "");
    EXPECT_EQ(owned(dataLoadFile("empty"), 4), std::string(4, '\0'));
    uint8_t *loaded = nullptr;
    std::string out = captured([&] { loaded = dataLoadFile("nothing"), stream = dataFileOpen("nothing"); });
    EXPECT_EQ(loaded, nullptr);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(dataFileSize("nothing"), 0);
    EXPECT_EQ(out.substr(0, 16), "[dataLoadFile : ") << out;
    EXPECT_NE(out.find("\"LoadFile: Failed to find a file: nothing\"\n"), std::string::npos) << out;
    EXPECT_NE(out.find("[dataFileOpen : "), std::string::npos) << out;
    // Found relative to the working directory when the asset tree lacks it.
    ASSERT_TRUE(writeFile(dir / "beside.bin", "xyz"));
    captured([&] { loaded = dataLoadFileAny("beside.bin"); });
    EXPECT_EQ(owned(loaded, 4), std::string("xyz\0", 4));
}

TEST_F(DataLayer, BuilderKeepsTableAndDataInAgreement)
{
    asset("kept", "12345");
    asset("empty", "");
    std::string out = build({"vanished", "kept", "empty", "song.wav", "sub"});
    // A directory cannot be packed either: an empty entry, never garbage.
    for (const char *line : {"[DATA]: File not found. Ignore!:vanished\n", "Removed song.wav from data building\n",
                             "[DATA]: Failed to load file:vanished\n", "[DATA]: Failed to load file:empty\n",
                             "[DATA]: Failed to load file:sub\n"})
        EXPECT_NE(out.find(line), std::string::npos) << line << out;
    ASSERT_NE(open("demo.dat"), nullptr);
    long expected = 8 + 4 * 272;
    for (DataEntry *e = dataPacks->entries; e; e = e->next) {
        EXPECT_EQ(e->offset, expected) << e->name;
        expected += e->size;
    }
    EXPECT_EQ(expected, (long)readFile(dir / "demo.dat").size());
    EXPECT_EQ((Strings{load("kept"), load("vanished")}), (Strings{"12345", ""}));

    // Nothing to pack: no file is written and an old one stays.
    std::string before = readFile(dir / "demo.dat");
    build({"music.mp3"}), build({});
    EXPECT_EQ(readFile(dir / "demo.dat"), before);
}

TEST_F(DataLayer, AFailedPackBuildLeavesTheOldPack)
{
    asset("a", "new");
    ASSERT_TRUE(writeFile(dir / "demo.dat", "old pack"));
    ASSERT_TRUE(makeDirs(dir / "demo.dat.part")); // the temporary cannot be created
    std::string out = build({"a"});
    EXPECT_NE(out.find("old pack is kept"), std::string::npos) << out;
    EXPECT_EQ(readFile(dir / "demo.dat"), "old pack");
    // A single file's save failing: the write-fault test and the object save test.
}

TEST_F(DataLayer, PacksWrittenFromMemoryReadBack)
{
    const uint8_t one[] = {1, 2, 3};
    const PackSource entries[] = {{"Tracks/One.track", one, 3}, {"empty", nullptr, 0}};
    ASSERT_EQ(dataWritePack("mem.dat", entries, 2), 1);
    ASSERT_NE(open("mem.dat"), nullptr);
    EXPECT_EQ(load("tracks/one.TRACK"), std::string("\1\2\3", 3));
    EXPECT_EQ(dataFileSize("empty"), 0);
    EXPECT_NE(dataFindEntry("empty"), nullptr);
    // A name longer than a record holds, and nothing to write, are refused.
    const std::string longName(300, 'n');
    const PackSource bad[] = {{longName.c_str(), one, 3}};
    EXPECT_EQ(dataWritePack("bad.dat", bad, 1), 0);
    EXPECT_EQ(dataWritePack("none.dat", entries, 0), 0);
}
