// Node-definition checks and the IPv4 text normaliser.
#include <cstring>
#include <string>
#include <vector>

#include "node_env.h"
#include "nodes/node_checks.h"

using qvp::nodes::qvAPIChangeIPAddress;
using qvp::nodes::qvAPICheckDataNodeDefinition;
using qvp::nodes::qvAPICheckInputItemDefinition;
using qvp::nodes::qvAPINameParameterNodeDefinitionCheck;

namespace {

using qvptest::NodeStoreTest;

class NodeCheckTest : public NodeStoreTest {
protected:
    std::string Ip(const char* text) {
        char out[16];
        std::memset(out, 'x', sizeof out);
        if (qvAPIChangeIPAddress(text, out) == 0) return "refused " + std::to_string(qvAPIGetLastError());
        return out;
    }
    std::pair<int, uint32_t> Item(uint32_t kind, QVAPI_NODE& n) {
        int r = qvAPICheckInputItemDefinition(kind, &n);
        return {r, qvAPIGetLastError()};
    }
    std::pair<int, uint32_t> Paths(const QVAPI_NODE& n) {
        int r = qvAPICheckDataNodeDefinition(&n);
        return {r, qvAPIGetLastError()};
    }
    std::pair<int, uint32_t> Names(const char* node, const char* host, uint32_t kind = 1) {
        int r = qvAPINameParameterNodeDefinitionCheck(node, host, "qvAPICreateClientDefinition", kind);
        return {r, qvAPIGetLastError()};
    }
    const std::string kRefused = "refused " + std::to_string(QVAPI_ERR_INVALID_PARAMETER);
    const std::pair<int, uint32_t> kValid{1, 0u};
};

TEST_F(NodeCheckTest, IpTextNormaliser) {
    EXPECT_EQ(Ip("010.001.000.255"), "10.1.0.255");
    EXPECT_EQ(Ip("1..2.3.4"), "1.2.3.4");
    EXPECT_EQ(Ip(".1.2.3.4"), "1.2.3.4");
    EXPECT_EQ(Ip("255.255.255.255"), "255.255.255.255");
    for (const char* bad : {"1.2.3.4.", "1.2.3", "1.2.3.4.5", "1.2.3.256", "1.2.3.999",
                            "100.100.100.1000", "-1.2.3.4", "a.b.c.d", "1.2.3.4a", "+1.2.3.4",
                            "1.2.3.0001", "", "...."}) {
        EXPECT_EQ(Ip(bad), kRefused) << bad;
    }
    char out[16];
    EXPECT_EQ(qvAPIChangeIPAddress(nullptr, out), 0);
    EXPECT_EQ(qvAPIChangeIPAddress("1.2.3.4", nullptr), 0);
}

TEST_F(NodeCheckTest, NameParametersByKind) {
    EXPECT_EQ(Names("host1", nullptr), kValid);
    EXPECT_EQ(Names("host*1", nullptr), std::make_pair(0, QVAPI_ERR_INVALID_NAME));
    EXPECT_EQ(Names(std::string(65, 'h').c_str(), nullptr), std::make_pair(0, QVAPI_ERR_INVALID_NAME));
    EXPECT_EQ(Names("#g1", "host1"), std::make_pair(0, QVAPI_ERR_INVALID_PARAMETER));
    EXPECT_EQ(Names(nullptr, "host1"), std::make_pair(0, QVAPI_ERR_INVALID_PARAMETER));
    // A host-ID node under host-name keying: its host name is checked too, when given.
    EXPECT_EQ(Names("#G12", "host1"), kValid);
    EXPECT_EQ(Names("#G12", ""), kValid);
    EXPECT_EQ(Names("#G12", nullptr), kValid);
    EXPECT_EQ(Names("#G12", "bad|host"), std::make_pair(0, QVAPI_ERR_INVALID_NAME));
    EXPECT_EQ(Names("#GZ", "host1"), std::make_pair(0, QVAPI_ERR_INVALID_NAME));
    SetKey(1);
    EXPECT_EQ(Names("#G12", "bad|host"), kValid);
    EXPECT_EQ(Names("10.0.0.1", nullptr, 2), kValid);
    EXPECT_EQ(Names("host1", nullptr, 2), std::make_pair(0, QVAPI_ERR_INVALID_NAME));
}

TEST_F(NodeCheckTest, ItemsByKeyKind) {
    QVAPI_NODE n{};
    std::strcpy(n.ucHostID, "#G1");
    EXPECT_EQ(Item(0x11, n), std::make_pair(0, QVAPI_ERR_INVALID_PARAMETER));  // flag first
    n.ucHostIDFlag = 1;
    EXPECT_EQ(Item(0x11, n), std::make_pair(0, QVAPI_ERR_INVALID_PARAMETER));  // no node name
    std::strcpy(n.ucNodeName, "host1");
    EXPECT_EQ(Item(0x11, n), kValid);
    EXPECT_EQ(n.ucNodePath0[0], '\0');  // nothing filled under host-name keying

    SetKey(1);
    EXPECT_EQ(Item(0x21, n), std::make_pair(0, QVAPI_ERR_INVALID_PARAMETER));  // no address
    n.ucNodeAddress[3] = 7;
    n.uiIPAddrFlag = 1;
    EXPECT_EQ(Item(0x21, n), std::make_pair(0, QVAPI_ERR_INVALID_PARAMETER));  // key byte 0
    n.ucSystemKey = 1;
    EXPECT_EQ(Item(0x41, n), kValid);
    EXPECT_STREQ(n.ucHostIDPath, "\\");
    EXPECT_STREQ(n.ucNodePath0, "\\");

    QVAPI_NODE h{};
    std::strcpy(h.ucNodeName, "host1");
    EXPECT_EQ(Item(0x04, h), kValid);
    EXPECT_STREQ(h.ucNodePath0, "\\");
    std::strcpy(h.ucNodePath0, "\\m1");
    EXPECT_EQ(Item(0x04, h), kValid);
    EXPECT_STREQ(h.ucNodePath0, "\\m1");
    h.ucSystemKey = 1;
    EXPECT_EQ(Item(0x04, h), std::make_pair(0, QVAPI_ERR_INVALID_PARAMETER));
    EXPECT_EQ(Item(0x08, h), std::make_pair(0, QVAPI_ERR_INVALID_PARAMETER));
    EXPECT_EQ(Item(2, h), std::make_pair(0, QVAPI_ERR_INVALID_PARAMETER));
    EXPECT_EQ(qvAPICheckInputItemDefinition(4, nullptr), 0);
}

TEST_F(NodeCheckTest, PathLengths) {
    QVAPI_NODE n{};
    std::memset(n.ucNodeName, 'n', sizeof n.ucNodeName);  // full: no terminator
    std::strcpy(n.ucNodePath0, "\\");
    EXPECT_EQ(Paths(n), kValid);

    std::memset(n.ucNodePath0, 0, sizeof n.ucNodePath0);
    n.ucNodePath0[0] = '\\';
    std::memset(n.ucNodePath0 + 1, 'p', 191);  // 192 + 64 = 256
    EXPECT_EQ(Paths(n), std::make_pair(0, QVAPI_ERR_PATH_TOO_LONG));
    n.ucNodePath0[191] = '\0';  // 191 + 64 = 255
    EXPECT_EQ(Paths(n), kValid);

    // "\" is not measured as a host-ID path; a real one is measured with the host ID.
    std::strcpy(n.ucHostIDPath, "\\");
    n.ucHostIDFlag = 1;
    std::memset(n.ucHostID, 'H', sizeof n.ucHostID);
    EXPECT_EQ(Paths(n), kValid);
    std::memset(n.ucHostIDPath, 'h', 224);  // 224 + 32
    EXPECT_EQ(Paths(n), std::make_pair(0, QVAPI_ERR_PATH_TOO_LONG));
    std::memset(n.ucHostIDPath, 0, sizeof n.ucHostIDPath);

    // An empty key path is not measured; "\" is.
    std::memset(n.ucNodeKey, 'k', sizeof n.ucNodeKey);
    EXPECT_EQ(Paths(n), kValid);
    std::memset(n.ucNodeKeyPath, 'K', 192);
    EXPECT_EQ(Paths(n), std::make_pair(0, QVAPI_ERR_PATH_TOO_LONG));
    std::memset(n.ucNodeKeyPath, 0, sizeof n.ucNodeKeyPath);
    std::memset(n.ucNodeKeyPath, 'K', 191);
    EXPECT_EQ(Paths(n), kValid);

    QVAPI_NODE top{};
    std::strcpy(top.ucNodeName, "x");
    top.ucSystemKey = 1;  // the dotted address is the name then
    top.ucNodeAddress[0] = 192;
    EXPECT_EQ(Paths(top), kValid);
    EXPECT_EQ(qvAPICheckDataNodeDefinition(nullptr), 0);
}

TEST_F(NodeCheckTest, LogTexts) {
    EnableLog();
    auto logged = [&](auto call, std::vector<std::string> lines) {
        const size_t before = LogMessages().size();
        call();
        std::vector<std::string> all = LogMessages();
        EXPECT_EQ(std::vector<std::string>(all.begin() + before, all.end()), lines);
    };
    const std::string ip = "qvAPIChangeIPAddress";
    auto frame = [&](const std::string& fn, const std::vector<std::string>& middle, const std::string& end) {
        std::vector<std::string> lines{fn + " START"};
        lines.insert(lines.end(), middle.begin(), middle.end());
        lines.push_back(fn + " END : Code = " + end);
        return lines;
    };
    // The normaliser: one reason per refusal.
    logged([&] { Ip("010.001.000.255"); }, frame(ip, {}, "0x00000000"));
    logged([&] { Ip("1234567890.12345"); },
           frame(ip, {ip + " : Parameter Err 1234567890.12345 : IPAddress is INVALID : Size Over"}, "0x20000057"));
    logged([&] { Ip("1.2.3.4."); },
           frame(ip, {ip + " : Parameter Err 1.2.3.4. : IPAddress is INVALID : Last Char is '.'"}, "0x20000057"));
    logged([&] { Ip("1.2.3"); }, frame(ip, {ip + " : Parameter Err 1.2.3 : IPAddress is INVALID"}, "0x20000057"));
    logged([&] { Ip("-1.2.3.4"); }, frame(ip, {ip + " : Parameter Err -1.2.3.4 : IPAddress is INVALID"}, "0x20000057"));
    logged([&] { Ip("a.b.c.d"); }, frame(ip, {ip + " : Parameter Err a.b.c.d : IPAddress is INVALID"}, "0x20000057"));
    logged([&] { Ip("1.2.3.256"); },
           frame(ip, {ip + " : Parameter Err 1.2.3.256 : IPAddress is INVALID : 255 over"}, "0x20000057"));

    const std::string names = "qvAPINameParameterNodeDefinitionCheck";
    logged([&] { Names("#g1", "host"); },
           frame(names,
                 {"qvAPIGetNodeNameType : Parameter Err : not found kind of Host ID",
                  names + " : qvAPIGetNodeNameType : Not found key type = #g1"},
                 "0x20000057"));
    logged([&] { Names("a*b", nullptr); },
           frame(names,
                 {"qvAPINameParameterCheck : Parameter Error : Parameter Name is INVALID",
                  names + " : qvAPICreateClientDefinition : qvAPINameParameterCheck a*b : ErrorCode = 0x2000007b"},
                 "0x2000007b"));

    const std::string item = "qvAPICheckInputItemDefinition";
    QVAPI_NODE n{};
    logged([&] { Item(0x11, n); },
           frame(item, {item + " : lpNodeData Value is INVALID : node_normal.ucHostIDFlag = 0x0"},
                 std::to_string(int(QVAPI_ERR_INVALID_PARAMETER))));
    n.ucHostIDFlag = 1;
    logged([&] { Item(0x11, n); },
           frame(item, {item + " : lpNodeData Value is INVALID : node_normal.ucHostID is NULL"},
                 std::to_string(int(QVAPI_ERR_INVALID_PARAMETER))));
    logged([&] { Item(0x04, n); },
           frame(item, {item + " : lpNodeData Value is INVALID : ucNodeName is NULL"},
                 std::to_string(int(QVAPI_ERR_INVALID_PARAMETER))));
    std::strcpy(n.ucNodeName, "h");
    n.ucSystemKey = 1;
    logged([&] { Item(0x04, n); },
           frame(item, {item + " : lpNodeData Value is INVALID : ucSystemKey is 1"},
                 std::to_string(int(QVAPI_ERR_INVALID_PARAMETER))));
    logged([&] { Item(0x08, n); },
           frame(item, {item + " : lpNodeData Value is INVALID : ucNodeAddress is NULL"},
                 std::to_string(int(QVAPI_ERR_INVALID_PARAMETER))));
    n.ucNodeAddress[0] = 10;
    n.uiIPAddrFlag = 7;
    logged([&] { Item(0x08, n); },
           frame(item, {item + " : lpNodeData Value is INVALID : uiIPAddrFlag is 7"},
                 std::to_string(int(QVAPI_ERR_INVALID_PARAMETER))));
    logged([&] { Item(2, n); },
           frame(item, {item + " : wdKindOfKey Value is INVALID : wdKindOfKey = 2"},
                 std::to_string(int(QVAPI_ERR_INVALID_PARAMETER))));
    n.uiIPAddrFlag = 1;
    logged([&] { Item(0x08, n); }, frame(item, {}, "0"));

    const std::string data = "qvAPICheckDataNodeDefinition";
    QVAPI_NODE p{};
    std::strcpy(p.ucNodeName, "abc");
    p.ucNodePath0[0] = '\\';
    std::memset(p.ucNodePath0 + 1, 'p', 253);  // 254 + 3
    logged([&] { Paths(p); },
           frame(data, {data + " : Parameter Error : Path Size overed HOSTID_LEN size=257"},
                 std::to_string(int(QVAPI_ERR_PATH_TOO_LONG))));
}

}  // namespace
