// The protocol core: what each device answers to each request, byte for byte, and what it changes.
#include "devsim/Fleet.h"

#include <gtest/gtest.h>

#include <set>

#include "StationRequests.h"

using namespace vst::devsim;
using namespace vst::devsim::test;

namespace {

constexpr Mac kMac = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
constexpr Mac kOtherMac = {0x02, 0x00, 0x00, 0x00, 0x00, 0x02};
constexpr Ipv4 kAddress = 0xC0A80065;  // 192.168.0.101
constexpr Ipv4 kOtherAddress = 0xC0A80066;

Device makeDevice()
{
    Device d;
    d.kind = 0;
    d.mac = kMac;
    d.network = {DhcpMode::Off, kAddress, 0xFFFFFF00, 0xC0A80001, 0xC0A80002, 0x0A000035};
    d.name = "Logger 1";
    d.serialNumber = 12345678;
    d.appVersion = 1.05;
    d.bootVersion = 0.5;
    d.restartMs = 500;
    return d;
}

Bytes bytesOf(std::initializer_list<int> values)
{
    Bytes out;
    for (int v : values) out.push_back(static_cast<uint8_t>(v));
    return out;
}

Bytes slice(const Bytes& bytes, size_t offset, size_t size)
{
    return Bytes(bytes.begin() + offset, bytes.begin() + offset + size);
}

struct Core : ::testing::Test {
    Device device = makeDevice();
    uint32_t now = 1000;

    Outcome send(const Bytes& request, Ipv4 destination = kAddress)
    {
        return respond(device, 0, now, destination, request);
    }

    // The single answer to a request; fails the test when there is not exactly one.
    Bytes answer(const Bytes& request, Ipv4 destination = kAddress)
    {
        Outcome outcome = send(request, destination);
        EXPECT_EQ(outcome.replies.size(), 1u);
        if (outcome.replies.size() != 1) return {};
        EXPECT_EQ(outcome.replies[0].source, device.network.address);
        return outcome.replies[0].bytes;
    }

    bool hasEvent(const Outcome& outcome, EventKind kind)
    {
        for (const auto& e : outcome.events) {
            if (e.kind == kind) return true;
        }
        return false;
    }
};

// ---------------------------------------------------------------------------------------------
// Search

TEST_F(Core, SearchAnswerOfKind0CarriesFloatVersionsAtTheirOffsets)
{
    device.network.dhcp = DhcpMode::Client;
    const Bytes a = answer(searchRequest());
    ASSERT_EQ(a.size(), 67u);
    Bytes expected = header('!', 'S', 67);
    expected[10] = 1;
    for (auto [offset, value] : {std::pair{11, bytesOf({0x66, 0x66, 0x86, 0x3F})},    // 1.05f
                                 std::pair{15, bytesOf({0x00, 0x00, 0x00, 0x3F})},    // 0.5f
                                 std::pair{19, bytesOf({0x4E, 0x61, 0xBC, 0x00})},    // 12345678
                                 std::pair{40, bytesOf({192, 168, 0, 101})},
                                 std::pair{44, bytesOf({255, 255, 255, 0})},
                                 std::pair{48, bytesOf({192, 168, 0, 1})},
                                 std::pair{52, bytesOf({192, 168, 0, 2})},
                                 std::pair{56, bytesOf({10, 0, 0, 53})},
                                 std::pair{60, bytesOf({2, 0, 0, 0, 0, 1})}}) {
        std::copy(value.begin(), value.end(), expected.begin() + offset);
    }
    putTextAt(expected, 23, "Logger 1");
    expected[39] = 1;
    expected[66] = 0;
    EXPECT_EQ(a, expected);
}

TEST_F(Core, SearchAnswerOfOtherKindsCarriesScaledVersionAndNoBootloader)
{
    const char words[] = {'!', 'U', 'T', 'P', '7', '5'};
    for (int kind = 1; kind <= 5; ++kind) {
        device.kind = kind;
        const Bytes a = answer(searchRequest());
        ASSERT_EQ(a.size(), 67u);
        EXPECT_EQ(twoChars(a), std::string{words[kind]} + "S");
        EXPECT_EQ(slice(a, 11, 4), bytesOf({0x04, 0x29, 0x00, 0x00})) << "10500 = 1.05";
        EXPECT_EQ(slice(a, 15, 4), bytesOf({0, 0, 0, 0}));
        EXPECT_EQ(slice(a, 60, 6), bytesOf({2, 0, 0, 0, 0, 1}));
    }
}

TEST_F(Core, SearchAnswerFieldsForNoSerialLongNameAndPassword)
{
    device.serialNumber = kNoSerialNumber;
    device.name = "ABCDEFGHIJKLMNO";  // 15 characters: the field keeps its NUL
    device.password = "geheim";
    const Bytes a = answer(searchRequest());
    EXPECT_EQ(slice(a, 19, 4), bytesOf({0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(std::string(a.begin() + 23, a.begin() + 38), "ABCDEFGHIJKLMNO");
    EXPECT_EQ(a[38], 0);
    EXPECT_EQ(a[66], 1);
}

TEST_F(Core, SearchMacFilter)
{
    EXPECT_EQ(send(searchRequest(kMac)).replies.size(), 1u);
    EXPECT_EQ(send(searchRequest(kOtherMac)).replies.size(), 0u);
    EXPECT_EQ(send(searchRequest({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE})).replies.size(), 0u);
}

TEST_F(Core, SearchDestinationRules)
{
    EXPECT_EQ(send(searchRequest(), kAddress).replies.size(), 1u);
    EXPECT_EQ(send(searchRequest(), 0xFFFFFFFF).replies.size(), 1u);
    EXPECT_EQ(send(searchRequest(), 0xC0A800FF).replies.size(), 1u) << "directed broadcast of the /24";
    EXPECT_EQ(send(searchRequest(), kOtherAddress).replies.size(), 0u) << "another device's address";
    EXPECT_EQ(send(searchRequest(), 0xC0A801FF).replies.size(), 0u) << "broadcast of another subnet";
    EXPECT_EQ(send(searchRequest(), 0xC0A8FFFF).replies.size(), 0u) << "broadcast of a wider subnet";
    device.network.mask = 0xFFFF0000;
    EXPECT_EQ(send(searchRequest(), 0xC0A8FFFF).replies.size(), 1u);
    EXPECT_EQ(send(searchRequest(), 0xC0A800FF).replies.size(), 0u);
}

TEST_F(Core, MalformedRequestsAreIgnored)
{
    Bytes badMagic = searchRequest();
    badMagic[0] = 'k';
    EXPECT_TRUE(send(badMagic).replies.empty());

    Bytes lengthBeyond = searchRequest();
    lengthBeyond[8] = 17;
    EXPECT_TRUE(send(lengthBeyond).replies.empty()) << "datagram shorter than its length field";

    Bytes wrongLength = header('?', 'S', 15);
    EXPECT_TRUE(send(wrongLength).replies.empty());

    Bytes trailing = searchRequest();
    trailing.push_back(0xAA);  // bytes after the length field's end are not part of the request
    EXPECT_EQ(send(trailing).replies.size(), 1u);

    const Bytes whole = searchRequest();
    EXPECT_TRUE(send(Bytes(whole.begin(), whole.begin() + 9)).replies.empty());
    EXPECT_TRUE(send(header('?', 'Q', 16)).replies.empty()) << "unknown command word";
    EXPECT_TRUE(send(header('!', 'S', 67)).replies.empty()) << "another device's search answer";
}

TEST(Fleet, BroadcastIsAnsweredByEveryDeviceFromItsOwnAddress)
{
    std::vector<Device> devices;
    for (uint32_t i = 0; i < 1000; ++i) {
        Device d = makeDevice();
        d.mac[4] = static_cast<uint8_t>(i >> 8);
        d.mac[5] = static_cast<uint8_t>(i);
        d.network.address = 0x0A000001 + i;  // 10.0.0.1 .. 10.0.3.232
        d.network.mask = 0xFFFF0000;
        devices.push_back(d);
    }
    devices[7].restarting = true;
    devices[7].restartEndsAt = 5000;
    Fleet fleet(devices);
    const Outcome outcome = fleet.handle(1000, 0x0A00FFFF, searchRequest());
    ASSERT_EQ(outcome.replies.size(), 999u);
    std::set<Ipv4> sources;
    for (const auto& r : outcome.replies) {
        sources.insert(r.source);
        EXPECT_EQ(getIpv4(r.bytes, 40), r.source);
        EXPECT_EQ(fleet[r.device].network.address, r.source);
    }
    EXPECT_EQ(sources.size(), 999u);
    EXPECT_EQ(sources.count(0x0A000008), 0u) << "the restarting device stays silent";
}

// ---------------------------------------------------------------------------------------------
// Write commands: addressing and password

TEST_F(Core, WriteCommandsAreOnlyForTheDeviceWithTheirMac)
{
    NetworkRequest n;
    EXPECT_TRUE(send(setNetworkRequest(kOtherMac, "", n)).replies.empty());
    EXPECT_TRUE(send(setNameRequest(kOtherMac, "", "X")).replies.empty());
    EXPECT_TRUE(send(backupRequest(kOtherMac, "", 'R')).replies.empty());
    EXPECT_TRUE(send(restoreRequest(kOtherMac, "", 'F', "x")).replies.empty());
    EXPECT_TRUE(send(setNameRequest({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "", "X")).replies.empty());
    EXPECT_EQ(device.name, "Logger 1");
    EXPECT_FALSE(device.restarting);
    // Same destination rules as the search.
    EXPECT_TRUE(send(setNameRequest(kMac, "", "X"), kOtherAddress).replies.empty());
    EXPECT_EQ(send(setNameRequest(kMac, "", "X"), 0xC0A800FF).replies.size(), 1u);
}

TEST_F(Core, WriteCommandsOfWrongSizeAreIgnored)
{
    Bytes name = setNameRequest(kMac, "", "X");
    name.push_back(0);
    name[8] = 83;
    EXPECT_TRUE(send(name).replies.empty());
    Bytes network = setNetworkRequest(kMac, "", {});
    network.pop_back();
    network[8] = 86;
    EXPECT_TRUE(send(network).replies.empty());
    EXPECT_FALSE(device.restarting);
}

TEST_F(Core, WrongPasswordIsAnsweredWithStatus0AndChangesNothing)
{
    device.password = "secret";
    device.configuration = {{"u1"}, {"p1"}};
    NetworkRequest n;
    n.address[0] = 10;
    for (const std::string& wrong : {std::string(""), std::string("secre"), std::string("secret!"), std::string("SECRET")}) {
        const Bytes i = answer(setNetworkRequest(kMac, wrong, n));
        EXPECT_EQ(twoChars(i), "#I");
        EXPECT_EQ(i[10], 0);
        const Bytes nm = answer(setNameRequest(kMac, wrong, "New"));
        EXPECT_EQ(twoChars(nm), "#N");
        EXPECT_EQ(nm[10], 0);
        const Bytes b = answer(backupRequest(kMac, wrong, 'R'));
        EXPECT_EQ(twoChars(b), ">B");
        EXPECT_EQ(b[10], 0);
        EXPECT_EQ(b[12], 0) << "no configuration text without the password";
        const Bytes r = answer(restoreRequest(kMac, wrong, 'F', "x"));
        EXPECT_EQ(twoChars(r), "!R");
        EXPECT_EQ(r[10], 0);
    }
    EXPECT_EQ(device.name, "Logger 1");
    EXPECT_EQ(device.network.address, kAddress);
    EXPECT_FALSE(device.restarting);
    EXPECT_FALSE(device.backup.open);
    EXPECT_EQ(device.configuration, (Configuration{{"u1"}, {"p1"}}));
}

TEST_F(Core, PasswordIsCheckedOnlyWhenTheDeviceIsProtected)
{
    EXPECT_EQ(answer(setNameRequest(kMac, "anything", "A"))[10], 1);
    device.password = std::string(49, 'p');
    EXPECT_EQ(answer(setNameRequest(kMac, std::string(49, 'p'), "B"))[10], 1);
    EXPECT_EQ(device.name, "B");
}

// ---------------------------------------------------------------------------------------------
// Name

TEST_F(Core, NameChangesAtOnceWithoutRestart)
{
    const Bytes a = answer(setNameRequest(kMac, "", "Halle 3"));
    EXPECT_EQ(a, [] { Bytes e = header('#', 'N', 11); e[10] = 1; return e; }());
    EXPECT_EQ(device.name, "Halle 3");
    EXPECT_FALSE(device.restarting);
    const Bytes s = answer(searchRequest(kMac));
    EXPECT_EQ(fieldText(s, 23, 16), "Halle 3");
}

TEST_F(Core, NameWithoutNulInItsFieldKeeps15Characters)
{
    answer(setNameRequest(kMac, "", "0123456789ABCDEF"));
    EXPECT_EQ(device.name, "0123456789ABCDE");
    const Bytes s = answer(searchRequest());
    EXPECT_EQ(s[38], 0);
}

// ---------------------------------------------------------------------------------------------
// Network settings and restart

TEST_F(Core, NetworkChangeAnswersThenRestartsSilentlyAndComesBackWithNewSettings)
{
    NetworkRequest n{2, {10, 1, 2, 3}, {255, 255, 0, 0}, {10, 1, 0, 1}, {10, 1, 0, 2}, {10, 1, 0, 3}};
    const Outcome o = send(setNetworkRequest(kMac, "", n));
    ASSERT_EQ(o.replies.size(), 1u);
    EXPECT_EQ(o.replies[0].source, kAddress) << "the answer still comes from the old address";
    EXPECT_EQ(o.replies[0].bytes, [] { Bytes e = header('#', 'I', 11); e[10] = 1; return e; }());
    EXPECT_TRUE(hasEvent(o, EventKind::RestartBegun));
    EXPECT_EQ(device.network.address, kAddress) << "settings take effect with the restart";

    for (uint32_t t : {1000u, 1250u, 1499u}) {
        now = t;
        EXPECT_TRUE(send(searchRequest()).replies.empty());
        EXPECT_TRUE(send(searchRequest(), 0x0A010203).replies.empty());
        EXPECT_TRUE(send(setNameRequest(kMac, "", "X")).replies.empty());
    }
    EXPECT_EQ(device.name, "Logger 1");

    now = 1500;
    EXPECT_TRUE(send(searchRequest(), kAddress).replies.empty()) << "the old address is gone";
    const Bytes a = answer(searchRequest(kMac), 0x0A01FFFF);
    EXPECT_EQ(slice(a, 39, 21), bytesOf({2, 10, 1, 2, 3, 255, 255, 0, 0, 10, 1, 0, 1, 10, 1, 0, 2, 10, 1, 0, 3}));
    EXPECT_EQ(device.network.address, 0x0A010203u);
    EXPECT_EQ(device.network.dhcp, DhcpMode::Server);
}

TEST_F(Core, UnknownDhcpModeIsStoredAsOff)
{
    device.restartMs = 0;
    NetworkRequest n{7, {192, 168, 0, 101}};
    answer(setNetworkRequest(kMac, "", n));
    EXPECT_EQ(answer(searchRequest())[39], 0);
}

TEST(Fleet, RestartTimingSurvivesTickWrapAndReportsItsEnd)
{
    Device d = makeDevice();
    d.restartMs = 300;
    Fleet fleet({d});
    const uint32_t start = 0xFFFFFF00u;
    NetworkRequest n{0, {192, 168, 0, 102}};
    ASSERT_EQ(fleet.handle(start, kAddress, setNetworkRequest(kMac, "", n)).replies.size(), 1u);
    ASSERT_TRUE(fleet.nextRestartEnd(start).has_value());
    EXPECT_EQ(*fleet.nextRestartEnd(start), start + 300);
    EXPECT_TRUE(fleet.advance(start + 299).empty());
    EXPECT_TRUE(fleet[0].restarting);
    const auto events = fleet.advance(start + 300);  // past the wrap
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, EventKind::RestartEnded);
    EXPECT_FALSE(fleet.nextRestartEnd(start + 300).has_value());
    EXPECT_EQ(fleet.handle(start + 301, 0xC0A80066, searchRequest()).replies.size(), 1u);
}

// ---------------------------------------------------------------------------------------------
// Backup

struct BackupChunk {
    char state;
    std::string text;
};

// Runs a backup the way the station does: "R", then "C" until a chunk with state 'F'.
std::vector<BackupChunk> backupChunks(Core& core, std::string_view password = "")
{
    std::vector<BackupChunk> chunks;
    for (char request = 'R'; chunks.size() < 100; request = 'C') {
        const Bytes a = core.answer(backupRequest(kMac, password, request));
        if (a.size() != 262u) {
            ADD_FAILURE() << "answer of " << a.size() << " bytes";
            break;
        }
        EXPECT_EQ(twoChars(a), ">B");
        EXPECT_EQ(lengthField(a), 262u);
        EXPECT_EQ(a[10], 1);
        EXPECT_EQ(a[261], 0) << "the text field ends with NUL";
        chunks.push_back({static_cast<char>(a[11]), fieldText(a, 12, 250)});
        if (a[11] == 'F') break;
    }
    return chunks;
}

// The backup file the station writes from those chunks.
std::string backupFile(const std::vector<BackupChunk>& chunks)
{
    std::string file;
    for (const auto& c : chunks) {
        file += c.text;
        if (c.state == 'S') file += '\n';
    }
    return file;
}

TEST_F(Core, BackupSendsOneLinePerChunkWithSAfterUserConfigurationAndFAtTheEnd)
{
    device.configuration = {{"[Allgemein]", "Name=Halle"}, {"P1=1", "P2=2"}};
    const auto chunks = backupChunks(*this);
    ASSERT_EQ(chunks.size(), 4u);
    EXPECT_EQ(chunks[0].text, "[Allgemein]\n");
    EXPECT_NE(chunks[0].state, 'S');
    EXPECT_NE(chunks[0].state, 'F');
    EXPECT_EQ(chunks[1].text, "Name=Halle\n");
    EXPECT_EQ(chunks[1].state, 'S');
    EXPECT_EQ(chunks[2].text, "P1=1\n");
    EXPECT_NE(chunks[2].state, 'S');
    EXPECT_NE(chunks[2].state, 'F');
    EXPECT_EQ(chunks[3].text, "P2=2\n");
    EXPECT_EQ(chunks[3].state, 'F');
    EXPECT_EQ(backupFile(chunks), "[Allgemein]\nName=Halle\n\nP1=1\nP2=2\n");
    EXPECT_FALSE(device.backup.open);
}

TEST_F(Core, BackupOfEmptyLists)
{
    struct Case {
        Configuration configuration;
        std::vector<std::pair<char, std::string>> chunks;
        std::string file;
    };
    const Case cases[] = {
        {{{"u"}, {}}, {{'F', "u\n"}}, "u\n"},
        {{{}, {"p"}}, {{'S', ""}, {'F', "p\n"}}, "\np\n"},
        {{{}, {}}, {{'F', ""}}, ""},
    };
    for (const auto& c : cases) {
        device.configuration = c.configuration;
        const auto chunks = backupChunks(*this);
        ASSERT_EQ(chunks.size(), c.chunks.size());
        for (size_t i = 0; i < chunks.size(); ++i) {
            EXPECT_EQ(chunks[i].state, c.chunks[i].first);
            EXPECT_EQ(chunks[i].text, c.chunks[i].second);
        }
        EXPECT_EQ(backupFile(chunks), c.file);
        EXPECT_EQ(backupText(c.configuration), c.file);
    }
}

TEST_F(Core, BackupLineOf248CharactersFitsTheField)
{
    device.configuration = {{std::string(248, 'a')}, {}};
    const Bytes a = answer(backupRequest(kMac, "", 'R'));
    EXPECT_EQ(fieldText(a, 12, 250), std::string(248, 'a') + "\n");
}

TEST_F(Core, BackupOutOfOrderRequestsAreNotAnswered)
{
    device.configuration = {{"a", "b"}, {}};
    Outcome o = send(backupRequest(kMac, "", 'C'));
    EXPECT_TRUE(o.replies.empty()) << "'C' without 'R'";
    EXPECT_TRUE(hasEvent(o, EventKind::RequestIgnored));
    EXPECT_TRUE(send(backupRequest(kMac, "", 'X')).replies.empty());

    backupChunks(*this);
    EXPECT_TRUE(send(backupRequest(kMac, "", 'C')).replies.empty()) << "'C' after the final chunk";

    // 'R' in the middle starts over from the first line.
    EXPECT_EQ(fieldText(answer(backupRequest(kMac, "", 'R')), 12, 250), "a\n");
    EXPECT_EQ(fieldText(answer(backupRequest(kMac, "", 'R')), 12, 250), "a\n");
    EXPECT_EQ(fieldText(answer(backupRequest(kMac, "", 'C')), 12, 250), "b\n");
}

TEST_F(Core, BackupSendsTheConfigurationAsItWasWhenItStarted)
{
    device.configuration = {{"old1", "old2"}, {}};
    answer(backupRequest(kMac, "", 'R'));
    device.configuration = {{"new"}, {}};
    EXPECT_EQ(fieldText(answer(backupRequest(kMac, "", 'C')), 12, 250), "old2\n");
}

// ---------------------------------------------------------------------------------------------
// Restore

// Sends a backup file the way the station restores it: one chunk per line, an empty line as an
// 'S' chunk, 'F' for the line that ends at the end of the file, 'R' for the first chunk and 'C'
// for the others. `sAlsoCountsAsFirst` picks whether an opening 'S' chunk uses up the 'R'.
// Returns the answer bytes of the chunks; stops after the 'F' answer.
std::vector<Bytes> restoreFile(Core& core, const std::string& file, bool sAlsoCountsAsFirst,
                               std::string_view password = "")
{
    std::vector<Bytes> answers;
    size_t position = 0;
    bool first = true;
    while (position < file.size()) {
        const size_t lf = file.find('\n', position);
        const std::string line = file.substr(position, lf - position);
        position = lf + 1;
        char mode;
        if (line.empty()) {
            mode = 'S';
            if (sAlsoCountsAsFirst) first = false;
        } else {
            mode = position == file.size() ? 'F' : first ? 'R' : 'C';
            first = false;
        }
        answers.push_back(core.answer(restoreRequest(kMac, password, mode, line)));
        if (answers.back().size() != 12u || answers.back()[11] == 'F') break;
    }
    return answers;
}

TEST_F(Core, RestoreRoundTripsEveryBackup)
{
    const Configuration configurations[] = {
        {{"[Allgemein]", "Name=Halle"}, {"P1=1", "P2=2"}},
        {{"only user"}, {}},
        {{}, {"only process 1", "only process 2"}},
        {{"u"}, {"p"}},
        {{std::string(248, 'x'), "crlf\r"}, {"\xE4\xF6\xFC"}},
    };
    for (bool sAlsoCountsAsFirst : {false, true}) {
        for (const auto& configuration : configurations) {
            device = makeDevice();
            device.restartMs = 0;
            device.configuration = configuration;
            const std::string file = backupFile(backupChunks(*this));
            device.configuration = {};
            now += 10;
            const auto answers = restoreFile(*this, file, sAlsoCountsAsFirst);
            ASSERT_FALSE(answers.empty());
            for (const auto& a : answers) {
                ASSERT_EQ(a.size(), 12u);
                EXPECT_EQ(twoChars(a), "!R");
                EXPECT_EQ(lengthField(a), 12u);
                EXPECT_EQ(a[10], 1);
            }
            EXPECT_EQ(answers.back()[11], 'F');
            for (size_t i = 0; i + 1 < answers.size(); ++i) EXPECT_NE(answers[i][11], 'F');
            EXPECT_EQ(device.configuration, configuration) << "file: " << file;
        }
    }
}

TEST_F(Core, RestoreFinalChunkReplacesConfigurationAndRestarts)
{
    device.configuration = {{"old"}, {"old process"}};
    answer(restoreRequest(kMac, "", 'R', "new 1"));
    answer(restoreRequest(kMac, "", 'C', "new 2"));
    EXPECT_EQ(device.configuration, (Configuration{{"old"}, {"old process"}})) << "nothing changes before 'F'";
    answer(restoreRequest(kMac, "", 'S', ""));
    const Outcome o = send(restoreRequest(kMac, "", 'F', "proc"));
    ASSERT_EQ(o.replies.size(), 1u);
    EXPECT_EQ(o.replies[0].bytes[11], 'F');
    EXPECT_TRUE(hasEvent(o, EventKind::ConfigurationReplaced));
    EXPECT_EQ(device.configuration, (Configuration{{"new 1", "new 2"}, {"proc"}}));
    EXPECT_TRUE(device.restarting);
    now += 499;
    EXPECT_TRUE(send(searchRequest()).replies.empty());
    now += 1;
    EXPECT_EQ(send(searchRequest()).replies.size(), 1u);
    EXPECT_EQ(device.network.address, kAddress) << "a restore keeps the network settings";
}

TEST_F(Core, RestoreOfASingleFinalChunk)
{
    device.configuration = {{"a", "b"}, {"c"}};
    EXPECT_EQ(answer(restoreRequest(kMac, "", 'F', "single"))[11], 'F');
    EXPECT_EQ(device.configuration, (Configuration{{"single"}, {}}));
}

TEST_F(Core, RestoreOutOfOrderChunksAreNotAnswered)
{
    device.configuration = {{"keep"}, {}};
    const Outcome o = send(restoreRequest(kMac, "", 'C', "stray"));
    EXPECT_TRUE(o.replies.empty());
    EXPECT_TRUE(hasEvent(o, EventKind::RequestIgnored));
    EXPECT_TRUE(send(restoreRequest(kMac, "", 'Q', "x")).replies.empty()) << "unknown mode";
    // A new 'R' abandons a restore in progress.
    answer(restoreRequest(kMac, "", 'R', "first try"));
    answer(restoreRequest(kMac, "", 'R', "second try"));
    answer(restoreRequest(kMac, "", 'F', "end"));
    EXPECT_EQ(device.configuration, (Configuration{{"second try", "end"}, {}}));
}

TEST_F(Core, RestoreWithWrongPasswordKeepsTheRestoreInProgress)
{
    device.password = "pw";
    answer(restoreRequest(kMac, "pw", 'R', "one"));
    EXPECT_EQ(answer(restoreRequest(kMac, "xx", 'C', "intruder"))[10], 0);
    answer(restoreRequest(kMac, "pw", 'F', "two"));
    EXPECT_EQ(device.configuration, (Configuration{{"one", "two"}, {}}));
}

TEST_F(Core, RestoreLinesAreCutTo248AndEmptyLinesDropped)
{
    answer(restoreRequest(kMac, "", 'R', std::string(249, 'z')));
    answer(restoreRequest(kMac, "", 'C', ""));
    answer(restoreRequest(kMac, "", 'C', "with lf\n"));
    answer(restoreRequest(kMac, "", 'F', ""));
    EXPECT_EQ(device.configuration, (Configuration{{std::string(248, 'z'), "with lf"}, {}}));
}

TEST_F(Core, RestoreChunkMustEndWithItsOnlyNul)
{
    Bytes noNul = restoreRequest(kMac, "", 'F', "abc");
    noNul.back() = 'd';
    EXPECT_TRUE(send(noNul).replies.empty());
    Bytes earlyNul = restoreRequest(kMac, "", 'F', "abc");
    earlyNul[68] = 0;
    EXPECT_TRUE(send(earlyNul).replies.empty());
    Bytes tooLong = restoreRequest(kMac, "", 'F', std::string(250, 'a'));
    EXPECT_TRUE(send(tooLong).replies.empty());
    EXPECT_FALSE(device.restarting);
}

// ---------------------------------------------------------------------------------------------
// Faults

TEST_F(Core, SilentDeviceAnswersNothingAndChangesNothing)
{
    device.faults.silent = true;
    EXPECT_TRUE(send(searchRequest()).replies.empty());
    EXPECT_TRUE(send(setNameRequest(kMac, "", "X")).replies.empty());
    EXPECT_EQ(device.name, "Logger 1");
}

TEST_F(Core, SearchStatus0SendsAnEmptyAnswer)
{
    device.faults.searchStatusZero = true;
    const Bytes a = answer(searchRequest());
    Bytes expected = header('!', 'S', 67);
    EXPECT_EQ(a, expected);
    EXPECT_EQ(answer(setNameRequest(kMac, "", "Y"))[10], 1) << "other commands still work";
}

TEST_F(Core, WrongPasswordFaultRefusesEvenWithoutProtection)
{
    device.faults.wrongPassword = true;
    EXPECT_EQ(answer(setNameRequest(kMac, "", "X"))[10], 0);
    EXPECT_EQ(answer(restoreRequest(kMac, "", 'F', "x"))[10], 0);
    EXPECT_EQ(device.name, "Logger 1");
    EXPECT_EQ(answer(searchRequest())[66], 0) << "the device does not claim a password";
}

TEST_F(Core, MalformedAnswers)
{
    const Bytes normal = answer(searchRequest());

    device.faults.set(Malformation::LengthBeyondDatagram);
    Bytes a = answer(searchRequest());
    EXPECT_EQ(a.size(), 67u);
    EXPECT_EQ(lengthField(a), 68u);
    EXPECT_EQ(lengthField(answer(setNameRequest(kMac, "", "Logger 1"))), 12u);

    device.faults = {};
    device.faults.set(Malformation::LengthAbove268);
    a = answer(searchRequest());
    EXPECT_EQ(a.size(), 300u);
    EXPECT_EQ(lengthField(a), 300u);
    EXPECT_EQ(slice(a, 0, 67), [&] { Bytes e = slice(normal, 0, 67); e[8] = 300 & 0xFF; e[9] = 1; return e; }());

    device.faults = {};
    device.faults.set(Malformation::Oversized);
    a = answer(searchRequest());
    EXPECT_EQ(a.size(), 1000u);
    EXPECT_EQ(lengthField(a), 67u);
    EXPECT_EQ(slice(a, 0, 67), normal);

    device.faults = {};
    device.faults.set(Malformation::ShortSearchAnswer);
    a = answer(searchRequest());
    EXPECT_EQ(a.size(), 40u);
    EXPECT_EQ(lengthField(a), 40u);
    EXPECT_EQ(answer(setNameRequest(kMac, "", "Logger 1")).size(), 11u) << "only search answers are cut";

    device.faults = {};
    device.faults.set(Malformation::UnknownWord);
    EXPECT_EQ(twoChars(answer(searchRequest())), "!X");
    EXPECT_EQ(twoChars(answer(setNameRequest(kMac, "", "Logger 1"))), "!X");

    device.faults = {};
    device.faults.set(Malformation::BackupWithoutNul);
    device.configuration = {{"line"}, {}};
    a = answer(backupRequest(kMac, "", 'R'));
    ASSERT_EQ(a.size(), 262u);
    EXPECT_EQ(std::find(a.begin() + 12, a.end(), 0), a.end()) << "no NUL in the text field";
    EXPECT_EQ(std::string(a.begin() + 12, a.begin() + 17), "line\n");
    EXPECT_EQ(answer(searchRequest()), normal);
}

TEST_F(Core, ForeignMacOnlyInAnswersToTheMacFilteredSearch)
{
    const Mac foreign = {0x02, 0x99, 0, 0, 0, 0x99};
    device.faults.foreignMac = foreign;
    EXPECT_EQ(getMac(answer(searchRequest()), 60), kMac) << "the broadcast search finds the real device";
    EXPECT_EQ(getMac(answer(searchRequest(kMac)), 60), foreign) << "the re-find sees another MAC";
    EXPECT_TRUE(send(searchRequest(foreign)).replies.empty());
}

TEST_F(Core, DelayIsPassedOnWithEveryAnswer)
{
    device.faults.delayMs = 250;
    const Outcome o = send(setNetworkRequest(kMac, "", {0, {192, 168, 0, 9}}));
    ASSERT_EQ(o.replies.size(), 1u);
    EXPECT_EQ(o.replies[0].delayMs, 250u);
    EXPECT_EQ(o.replies[0].source, kAddress);
}

}  // namespace
