// Every request text of the record layer, byte for byte as the simulator received it.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "records/fixture.h"
#include "support/status_files.h"

namespace qvptest {
namespace {

using namespace std::string_literals;

// A call and every request it sends, in order.
struct Case {
    const char* name;
    std::function<void(QVPAPI*)> call;
    std::vector<std::string> expected;
};

TEST_F(RecordsTest, RequestTextsAreByteExact) {
    Open();
    store().AddCabinet('C', "A1", "tools");
    store().AddPackage(Package('C', "A1", "editor", "1/2", "0001"));
    store().AddExecution("grp.node1", "J000000000000042", std::string(944, 'e'));
    store().AddStatus("node1", MakeStatusRecord("node1", 'C', "A1", "editor", "1/2", "0001"));
    store().SetInventory("node1", std::string(80, '\0'));

    std::string schedule(224, '\0');
    schedule[0] = 'S';
    schedule[10] = ' ';
    schedule[11] = ' ';
    schedule[100] = '\xFF';
    schedule[223] = ' ';
    char jobNumber[17] = "0000000000000000";
    const std::string key59 = "CA1" + Pad("editor", 44) + Pad("1/2", 8) + "0001";
    const std::string status64 = Pad("node1", 64);

    const std::string statusKey = status64 + key59;
    const std::string moved = MakeStatusRecord("node2", 'C', "A1", "editor", "1/2", "0001");

    const std::vector<Case> cases = {
        {"GPUT", [](QVPAPI* b) { qvpAPIAddManaGroup(b, "C.B2", "new cabinet"); },
         {"GPUT 2 k4 C.B2 g32 new cabinet" + std::string(21, '\0')}},
        {"GUPD", [](QVPAPI* b) { qvpAPIUpdateManaGroup(b, "C.B2", "renamed"); },
         {"GUPD 2 k4 C.B2 g32 renamed" + std::string(25, '\0')}},
        {"GDEL", [](QVPAPI* b) { qvpAPIDelManaGroup(b, "C.B2"); }, {"GDEL 1 k4 C.B2"}},
        {"FGET M", [](QVPAPI* b) { qvpAPIGetHeadManaPos(b, "C"); }, {"FGET 2 f3 MKP k1 C"}},
        // The first GetNext returns the positioned record without asking again.
        {"FGET MN", [](QVPAPI* b) { qvpAPIGetNextMana(b); qvpAPIGetNextMana(b); }, {"FGET 1 f2 MN"}},
        {"FGET MT", [](QVPAPI* b) { qvpAPIGetHeadManaPos(b, ""); }, {"FGET 1 f2 MT"}},
        {"FGET M key", [](QVPAPI* b) { qvpAPIFindMana(b, "C.A1"); }, {"FGET 2 f3 MKP k4 C.A1"}},
        {"FRLS", [](QVPAPI* b) { qvpAPIFrls(b, 'M'); }, {"FRLS 1 f1 M"}},
        {"FGET A", [](QVPAPI* b) { qvpAPIFindAttr(b, "C.A1.editor.1/2.0001"); }, {"FGET 2 f3 AKP k59 " + key59}},
        {"FGET A head", [](QVPAPI* b) { qvpAPIFindHeadAttr(b, "C.A1"); }, {"FGET 2 f3 AKP k3 CA1"}},
        {"FGET AN", [](QVPAPI* b) { qvpAPIGetNextAttr(b); }, {"FGET 1 f2 AN"}},
        {"FRLS A", [](QVPAPI* b) { qvpAPIFrls(b, 'A'); }, {"FRLS 1 f1 A"}},
        {"RDEL", [](QVPAPI* b) { qvpAPIDeleteSoftware(b, "C.A1.editor.1/2.0001"); }, {"RDEL 1 k59 " + key59}},
        {"FGET E", [](QVPAPI* b) { qvpAPIFindCommand(b, "J000000000000042", "grp.*"); },
         {"FGET 2 f3 EKP k21 grp.*J000000000000042"}},
        {"FGET EN", [](QVPAPI* b) { qvpAPIGetNextCommand(b); qvpAPIGetNextCommand(b); }, {"FGET 1 f2 EN"}},
        {"FRLS E", [](QVPAPI* b) { qvpAPIFrls(b, 'E'); }, {"FRLS 1 f1 E"}},
        {"FGET S", [](QVPAPI* b) { qvpAPIGetHeadStsPos(b, "node1"); }, {"FGET 2 f3 SKP k64 " + status64}},
        {"FGET SN", [](QVPAPI* b) { qvpAPIGetNextSts(b); qvpAPIGetNextSts(b); }, {"FGET 1 f2 SN"}},
        // Stored under the new name, removed under the old one, then the walk's next record.
        {"FUPD",
         [&](QVPAPI* b) {
             qvpAPIUpdateSts(b, "node1", "node2", reinterpret_cast<const QVAPI_INSPACKAGE*>(moved.data()));
         },
         {"FUPD 3 f3 SKP k123 " + Pad("node2", 64) + key59 + " i432 " + moved,
          "FDEL 2 f3 SKP k123 " + statusKey, "FGET 1 f2 SN"}},
        {"FDEL", [](QVPAPI* b) { qvpAPIDeleteSts(b, "node1", 'C', nullptr, "1/2", nullptr); },
         {"FDEL 2 f3 SKP k123 " + status64 + "C??" + std::string(44, '?') + Pad("1/2", 8) + "????"}},
        {"FRLS S", [](QVPAPI* b) { qvpAPIFrls(b, 'S'); }, {"FRLS 1 f1 S"}},
        {"JPUT", [&](QVPAPI* b) { qvpAPIPutJob(b, "\\F\\JG", jobNumber, nullptr); },
         {"JPUT 2 j5 \\F\\JG n16 0000000000000000"}},
        {"JSCH", [&](QVPAPI* b) { std::memcpy(jobNumber, "0000000000000000", 16); qvpAPIPutJob(b, "\\F\\JG", jobNumber, schedule.data()); },
         {"JSCH 3 j5 \\F\\JG n16 0000000000000000 s224 " + schedule}},
        {"JEXC", [](QVPAPI* b) { qvpAPIExecJob(b, "\\F\\JOB1"); }, {"JEXC 2 n7 \\F\\JOB1 f1  "}},
        {"JDEL 3", [](QVPAPI* b) { qvpAPIDeleteJob(b, "\\F\\JOB1", 1, 0); }, {"JDEL 3 n7 \\F\\JOB1 f1   s1 S"}},
        {"JDEL 3 forced", [](QVPAPI* b) { qvpAPIDeleteJob(b, "\\F\\JOB1", 0, 0xFFFF); },
         {"JDEL 3 n7 \\F\\JOB1 f2  F s1  "}},
        {"JDEL 4", [](QVPAPI* b) { qvpAPIDeleteCommand(b, "\\F\\JOB1", "node1", "0003"); },
         {"JDEL 4 n7 \\F\\JOB1 f1   a5 node1 c4 0003"}},
        {"HDEL", [](QVPAPI* b) { qvpAPIDeleteHanger(b); }, {"HDEL 0"}},
        {"IGET", [](QVPAPI* b) { qvpAPIGetInv(b, "node1"); }, {"IGET FIELD K5 node1"}},
    };
    for (const Case& c : cases) {
        const size_t before = sim().Received().size();
        c.call(block());
        const auto received = sim().Received();
        const std::vector<std::string> sent(received.begin() + static_cast<std::ptrdiff_t>(before), received.end());
        EXPECT_EQ(sent, c.expected) << c.name;
        EXPECT_EQ(LastRequest(), c.expected.back()) << c.name;
    }
}

}  // namespace
}  // namespace qvptest
