// Sync tracks: file names, interpolation, track files (whole, damaged and
// absurd), binding variables and the per-frame update.

#include <malloc.h> // Required for: malloc_usable_size()

#include "cvar/cvar.h"
#include "testutil.h"

static std::string le32(uint32_t v)
{
    return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

static std::string keyBytes(int32_t row, float value, uint8_t type)
{
    uint32_t bits;
    memcpy(&bits, &value, 4);
    return le32((uint32_t)row) + le32(bits) + char(type);
}

// An in-memory file system for the device, counting opens and closes.
struct MemFile { std::string data; size_t pos; };
static std::map<std::string, std::string> memFiles;
static int memOpens, memCloses;

static SyncDevice *memDevice()
{
    SyncDevice *device = syncCreateDevice("sync");
    device->open = [](const char *name, const char *) -> void * {
        auto it = memFiles.find(name);
        return it == memFiles.end() ? nullptr : (memOpens++, new MemFile{it->second, 0});
    };
    device->read = [](void *dst, size_t size, size_t count, void *handle) {
        MemFile *file = (MemFile *)handle;
        size_t n = std::min(size * count, file->data.size() - file->pos);
        memcpy(dst, file->data.data() + file->pos, n);
        file->pos += n;
        return n;
    };
    device->close = [](void *handle) {
        memCloses++;
        delete (MemFile *)handle;
    };
    return device;
}

TEST(SyncNames, EncodingAndPathsEscapeAllButPlainBytesAndStopAt259)
{
    const std::string a256(256, 'a'), b250(250, 'b'), b300(300, 'b');
    struct Case { const char *base; std::string in, out; } cases[] = { // no base: encoding only
        {nullptr, "A.z_9", "A.z_9"},
        {nullptr, "-\x01\x7F\xC3\xFF", "-2D-01-7F-C3-FF"},
        {nullptr, std::string(300, 'a'), std::string(259, 'a')},
        {nullptr, a256 + " b", a256 + "-20"},          // an escape fits after 256
        {nullptr, a256 + "a bb", a256 + "a"},          // but not after 257, and ends the name
        {"sync", "fx_idx", "sync_fx_idx.track"},
        {"sync", "a b/c", "sync_a-20b-2Fc.track"},
        {b250.c_str(), "abcdef", b250 + "_abcdef.t"},
        {b300.c_str(), "x", std::string(259, 'b')},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.base ? syncTrackPath(c.base, c.in.c_str()) : syncEncodeName(c.in.c_str()), c.out) << c.in;
    // The base may be the encoder's own buffer.
    EXPECT_STREQ(syncTrackPath(syncEncodeName("my sync"), "v"), "my-20sync_v.track");
}

TEST(SyncValue, InterpolationKindsOnBetweenAndAroundTwoKeys)
{
    // Keys (0, 2, type) and (10, 12, step).
    struct Case { const char *name; int32_t type; double row, value; } cases[] = {
        {"linear", SYNC_LINEAR, 5, 7}, {"linear uses the fraction", SYNC_LINEAR, 5.5, 7.5},
        {"before the first key", SYNC_LINEAR, -1, 2}, {"on the last key", SYNC_LINEAR, 10, 12},
        {"after the last key", SYNC_LINEAR, 1000, 12}, {"smooth", SYNC_SMOOTH, 5, 7},
        {"smooth quarter", SYNC_SMOOTH, 2.5, 3.5625}, {"ramp", SYNC_RAMP, 5, 4.5},
        {"step holds", SYNC_STEP, 9.999, 2}, {"step reaches the next key", SYNC_STEP, 10, 12},
        {"smooth on its key", SYNC_SMOOTH, 0, 2}, {"ramp on its key", SYNC_RAMP, 0, 2},
        {"type -1 on its key", -1, 0, 0}, {"type -1 between", -1, 5, 0},
        {"type 4 between", 4, 7.5, 0}, {"unknown type, next key", -1, 10, 12},
    };
    for (const Case &c : cases) {
        SyncKey keys[] = {{0, 2.0f, c.type}, {10, 12.0f, SYNC_STEP}};
        SyncTrack track = {nullptr, keys, 2};
        EXPECT_DOUBLE_EQ(syncGetValue(&track, c.row), c.value) << c.name;
    }
    SyncKey key = {10, 3.0f, SYNC_LINEAR};
    SyncTrack empty = {}, single = {nullptr, &key, 1};
    EXPECT_EQ(syncGetValue(&empty, 5), 0.0);
    EXPECT_EQ(syncGetValue(&single, 0), 3.0);
    EXPECT_EQ(syncGetValue(&single, 1000), 3.0);
}

TEST(SyncValue, OddRowsAndOddKeysGiveValuesWithinTheStoredOnes)
{
    // Keys at both ends of the row range: their span does not fit in an int32.
    SyncKey wide[] = {{INT32_MIN, 1.0f, SYNC_LINEAR}, {INT32_MAX, 5.0f, SYNC_LINEAR}};
    SyncTrack track = {nullptr, wide, 2};
    struct Case { double row, value; } rows[] = {{NAN, 1}, {-INFINITY, 1}, {INFINITY, 5}, {3e9, 5}, {-0.5, 3}};
    for (const Case &c : rows)
        EXPECT_NEAR(syncGetValue(&track, c.row), c.value, 1e-6) << c.row;

    // Two keys on row 10 or keys out of order: never 0/0 or an extrapolation.
    SyncKey doubled[] = {{0, 0.0f, SYNC_LINEAR}, {10, 5.0f, SYNC_LINEAR}, {10, 7.0f, SYNC_LINEAR}};
    SyncKey backwards[] = {{0, 0.0f, SYNC_LINEAR}, {20, 10.0f, SYNC_LINEAR}, {10, 5.0f, SYNC_LINEAR}};
    SyncKey shuffled[] = {{0, 0.0f, SYNC_LINEAR}, {20, 10.0f, SYNC_RAMP}, {10, 5.0f, SYNC_SMOOTH},
                          {30, -4.0f, SYNC_LINEAR}, {25, 8.0f, SYNC_LINEAR}};
    const std::pair<const char *, SyncTrack> odd[] = {{"doubled", {nullptr, doubled, 3}},
                                                      {"backwards", {nullptr, backwards, 3}},
                                                      {"shuffled", {nullptr, shuffled, 5}}};
    for (const auto &[name, oddTrack] : odd) {
        SCOPED_TRACE(name);
        for (double row = -5; row <= 40; row += 0.25)
            EXPECT_NEAR(syncGetValue(&oddTrack, row), 3.0, 7.0) << "row " << row; // within the stored -4 .. 10
    }
    track = {nullptr, backwards, 3};
    EXPECT_EQ(syncGetValue(&track, 20.5), 10.0); // a segment running backwards holds its key
}

TEST(SyncTrackFile, DamagedFilesKeepOnlyTheirCompleteKeys)
{
    std::string four = keyBytes(1, 1.0f, 1) + keyBytes(2, 2.0f, 1) + keyBytes(3, 3.0f, 1) + keyBytes(4, 4.0f, 1);
    struct Case { const char *name; std::string data; int32_t keys; } cases[] = {
        {"empty file", "", 0}, {"half a count", le32(1).substr(0, 2), 0}, {"count 0", le32(0) + four, 0},
        {"negative count", le32(0xFFFFFFFFu) + four, 0},
        {"count 3, two and a half keys", le32(3) + four.substr(0, 22), 2},
        {"count 1, more keys stored", le32(1) + four, 1},
        {"count 2^31-1 in a 40-byte file", le32(INT32_MAX) + four, 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        memFiles = {{"sync_t.track", c.data}};
        memOpens = memCloses = 0;
        SyncDevice *device = memDevice();
        SyncTrack *track = syncGetTrack(device, "t");
        EXPECT_EQ(track->keyCount, c.keys);
        for (int32_t i = 0; i < std::min(c.keys, track->keyCount); i++)
            EXPECT_EQ(track->keys[i].value, float(i + 1)) << "key " << i;
        EXPECT_LT(track->keys ? malloc_usable_size(track->keys) : 0, 1024u); // not sized by the count
        EXPECT_EQ(memCloses, memOpens);
        syncDestroyDevice(device);
    }
}

// Starts from an empty registry and puts the previous one back.
class SyncBinding : public testing::Test {
protected:
    void SetUp() override { saved = cvarList; cvarList = nullptr; }
    void TearDown() override { cvarList = saved; }
    Cvar *saved = nullptr;
};

TEST_F(SyncBinding, BindingNamesTracksOnceAndUpdatesOnlyBoundComponents)
{
    static Cvar scalar = cvarDefine("test_scale", "1", 0, 1);
    static Cvar colour = cvarDefine("test_tint", "0 0 0 0", 0, 1, CVAR_COLOR, 9, 9, 9, 0.5f);
    static Cvar vector = cvarDefine("test_pos", "0 0 0", 0, 1, CVAR_VEC3, 9, 9, 9, 1);
    static Cvar noFile = cvarDefine("test_nofile", "7", 0, 1);
    static Cvar unbound = cvarDefine("test_free", "42", 0, 1);
    static Cvar unboundColour = cvarDefine("test_free_tint", "0 0 0 0", 0, 1, CVAR_COLOR, 1, 2, 3, 4);
    for (Cvar *cvar : {&scalar, &colour, &vector, &noFile, &unbound, &unboundColour})
        CvarRegister(cvar);
    struct Case { Cvar *cvar; std::string names[3]; std::vector<float> ends; } cases[] = { // "": unbound
        {&scalar, {"test_scale", "", ""}, {10}},
        {&colour, {"test_tint_r", "test_tint_g", "test_tint_b"}, {2, 4, 6}},
        {&vector, {"test_pos_x", "test_pos_y", "test_pos_z"}, {-10, 10, 300}},
    };
    memFiles.clear();
    memOpens = 0;
    for (const Case &c : cases) { // each track runs linearly from 0 at row 0 to its end at row 10
        for (size_t i = 0; i < c.ends.size(); i++)
            memFiles["sync_" + c.names[i] + ".track"] = le32(2) + keyBytes(0, 0, 1) + keyBytes(10, c.ends[i], 0);
    }
    SyncDevice *device = memDevice();
    for (Cvar *cvar : {&scalar, &colour, &vector, &noFile})
        syncBindVariable(device, cvar);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.cvar->name);
        SyncTrack *first[3];
        memcpy(first, c.cvar->tracks, sizeof first);
        syncBindVariable(device, c.cvar); // again: nothing changes
        for (size_t i = 0; i < 3; i++) {
            SyncTrack *track = c.cvar->tracks[i];
            EXPECT_EQ(track, first[i]) << "component " << i;
            EXPECT_EQ(track ? track->name : "", c.names[i]) << "component " << i;
            EXPECT_EQ(c.cvar->trackNames[i], c.names[i]) << "component " << i;
        }
    }
    EXPECT_EQ(device->trackCount, 8);
    EXPECT_EQ(memOpens, 7); // each file read once
    syncUpdateVariables(5.0);
    EXPECT_EQ(scalar.value, 5.0f);
    EXPECT_STREQ(scalar.text, "1");
    EXPECT_EQ(std::vector<float>(colour.vec, colour.vec + 4), (std::vector<float>{1, 2, 3, 0.5f}));
    EXPECT_EQ(std::vector<float>(vector.vec, vector.vec + 4), (std::vector<float>{-5, 5, 150, 1}));
    EXPECT_EQ(std::vector<float>(unboundColour.vec, unboundColour.vec + 4), (std::vector<float>{1, 2, 3, 4}));
    EXPECT_EQ(noFile.value, 0.0f); // bound without a file: forced to 0
    EXPECT_EQ(unbound.value, 42.0f);
    syncDestroyDevice(device);
}

// Held by hand (the edit mode, paused), a driven variable keeps its values
// through every update until the holds go; the others follow their tracks.
TEST_F(SyncBinding, HeldVariablesKeepHandSetValuesUntilReleased)
{
    static Cvar scalar = cvarDefine("test_held", "1", 0, 1);
    static Cvar colour = cvarDefine("test_held_tint", "0 0 0 0", 0, 1, CVAR_COLOR, 9, 9, 9, 0.5f);
    static Cvar other = cvarDefine("test_other", "1", 0, 1);
    memFiles.clear();
    for (const char *name : {"test_held", "test_held_tint_r", "test_held_tint_g", "test_held_tint_b", "test_other"})
        memFiles[std::string("sync_") + name + ".track"] = le32(2) + keyBytes(0, 0, 1) + keyBytes(10, 10, 0);
    SyncDevice *device = memDevice();
    for (Cvar *cvar : {&scalar, &colour, &other})
        CvarRegister(cvar), syncBindVariable(device, cvar);
    EXPECT_EQ(syncHoldVariable(&scalar) + syncHoldVariable(&colour) + syncHoldVariable(&scalar), 3);
    scalar.value = 3, colour.vec[0] = 0.25f;
    for (double row : {2.0, 7.0}) {
        syncUpdateVariables(row);
        EXPECT_EQ(std::vector<float>({scalar.value, colour.vec[0], colour.vec[1], colour.vec[3], other.value}),
                  std::vector<float>({3, 0.25f, 9, 0.5f, (float)row}));
    }
    EXPECT_EQ(syncIsHeld(&colour) + 2 * syncIsHeld(&other), 1);
    EXPECT_EQ(syncReleaseVariables(), 2); // held once each
    syncUpdateVariables(5.0);
    EXPECT_EQ(std::vector<float>({scalar.value, colour.vec[0], colour.vec[1], colour.vec[3]}),
              std::vector<float>({5, 5, 5, 0.5f}));
    std::vector<Cvar> many(300, cvarDefine("test_many", "0", 0, 1)); // room for all the show binds, not more
    EXPECT_EQ(std::count_if(many.begin(), many.end(), [](Cvar &cvar) { return syncHoldVariable(&cvar); }), 256);
    EXPECT_EQ(syncReleaseVariables(), 256);
    syncDestroyDevice(device);
}

// Read again while the show runs, a track takes only a whole file and
// otherwise keeps the keys it has.
TEST(SyncTrackFile, ReloadTakesOnlyWholeFiles)
{
    std::string two = keyBytes(1, 5.0f, 1) + keyBytes(2, 6.0f, 1);
    struct Case { const char *name; bool exists; std::string data; int result; int32_t keys; } cases[] = {
        {"whole", true, le32(2) + two, SYNC_RELOAD_DONE, 2},
        {"whole and empty", true, le32(0), SYNC_RELOAD_DONE, 0},
        {"missing", false, "", SYNC_RELOAD_WAIT, 1},
        {"nothing yet", true, "", SYNC_RELOAD_WAIT, 1},
        {"half a key", true, le32(2) + two.substr(0, 13), SYNC_RELOAD_WAIT, 1},
        {"a byte too many", true, le32(2) + two + "x", SYNC_RELOAD_WAIT, 1},
        {"negative count", true, le32(0xFFFFFFFFu) + two, SYNC_RELOAD_WAIT, 1},
        {"count past the limit", true, le32(SYNC_RELOAD_KEYS_MAX + 1) + two, SYNC_RELOAD_WAIT, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        memFiles = {{"sync_t.track", le32(1) + keyBytes(0, 9.0f, 0)}};
        memOpens = memCloses = 0;
        SyncDevice *device = memDevice();
        SyncTrack *track = syncGetTrack(device, "t");
        memFiles.clear();
        if (c.exists)
            memFiles["sync_t.track"] = c.data;
        EXPECT_EQ(syncReloadTrack(device, track), c.result);
        ASSERT_EQ(track->keyCount, c.keys);
        if (c.result == SYNC_RELOAD_WAIT) {
            EXPECT_EQ(track->keys[0].value, 9.0f);
        } else if (c.keys) {
            EXPECT_EQ(syncGetValue(track, 2.0), 6.0);
        }
        EXPECT_EQ(memCloses, memOpens);
        syncDestroyDevice(device);
    }
}

TEST(SyncTrackFile, EncodedKeysLoadBackAsWritten)
{
    const SyncKey keys[] = {{-5, 1.5f, SYNC_LINEAR}, {0, -2.25f, SYNC_RAMP}, {4000, 1e9f, -1}};
    const std::string bytes = trackFile({keys, keys + 3});
    EXPECT_EQ(bytes, le32(3) + keyBytes(-5, 1.5f, SYNC_LINEAR) + keyBytes(0, -2.25f, SYNC_RAMP) + keyBytes(4000, 1e9f, 0xFF));
    memFiles = {{"sync_back.track", bytes}};
    SyncDevice *device = memDevice();
    SyncTrack *track = syncGetTrack(device, "back");
    ASSERT_EQ(track->keyCount, 3);
    auto fields = [](const SyncKey &k) { return std::make_tuple(k.row, k.value, k.type); };
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(fields(track->keys[i]), fields(keys[i])) << "key " << i;
    syncDestroyDevice(device);
    EXPECT_EQ(syncEncodeTrack(keys, -1, nullptr), 4u);
}
