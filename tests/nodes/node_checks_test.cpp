// Node-definition checks and the IPv4 text normaliser.
#include <cstring>
#include <string>

#include "node_env.h"
#include "nodes/node_checks.h"

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

}  // namespace
