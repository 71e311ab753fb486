// Writes a node-definition store byte for byte, as the library's writers leave it: the flat
// definition files NODEDEF\C.<key> and M.<key>, the key directories (nested under their
// masters) with each node's nodeattributionfile and its group back-links, and the node groups
// under NODEGROUP with their nodegroupfile. Keys are laid out as the library lays them out:
// the dotted address of an IP-keyed node, else the decimal name hash and the lowest free
// synonym slot S<n>.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "qvpapi.h"

namespace qvptest {

class NodeStoreBuilder {
public:
    struct Node {
        std::string name;                  // ucNodeName (host name)
        uint32_t kind = QVAPI_NODE_CLIENT; // 1 client, 2 master
        std::array<uint8_t, 4> address{};  // ucNodeAddress
        bool ipKeyed = false;              // keyed by the dotted address (ucSystemKey 1)
        std::string hostId;                // keyed by this host ID when not empty
        std::string master;                // the upper master, by the name it was added under
        std::string commonName;
        std::string macAddress;
        QVAPI_NODE_TIME updated{};
        QVAPI_NODE_TIME created{};
        std::string key;                   // forced key; empty: laid out
    };

    struct GroupEntry {
        std::string name;
        uint32_t kind = 0;                 // 0 sub-group, 1 client, 2 master
        std::array<uint8_t, 76> carried{};
    };

    // `pathName` is the install root (PathName), a POSIX directory.
    explicit NodeStoreBuilder(std::filesystem::path pathName);

    std::filesystem::path NodeDefDir() const { return nodeDef_; }
    std::filesystem::path NodeGroupDir() const { return nodeGroup_; }

    // Hash of one name component: the sum of (c + i + 1) * (i + 1) over its lower-cased bytes.
    static uint32_t ComponentHash(std::string_view component);
    static std::string DottedAddress(const std::array<uint8_t, 4>& address);

    // Writes the definition file and the key directory with its attribution file; returns the
    // record as stored. Masters must be added before the nodes below them.
    QVAPI_NODE AddNode(const Node& node);
    // The stored record of a node added under `name` (its host name, host ID or address).
    const QVAPI_NODE& Record(const std::string& name) const;
    bool Has(const std::string& name) const { return nodes_.count(name) != 0; }

    // A node group ("\" the root, "\a\b" nested): its directory and nodegroupfile, created
    // with every missing upper group, each listed in its parent as a sub-group entry.
    void AddGroup(const std::string& groupPath);
    // Lists a node in a group under `entryName` (empty: its host name, or its host ID) and
    // writes the back-link into its attribution file; the stored group flags become 1.
    void AddMember(const std::string& groupPath, const std::string& nodeName,
                   const std::string& entryName = {});

    // Raw writers, for stores that the library must cope with.
    void WriteDefinitionFile(const std::string& fileName, const QVAPI_NODE& record);
    void WriteRawFile(const std::filesystem::path& path, const void* bytes, size_t size);
    void WriteAttributionFile(const QVAPI_NODE& record, const std::vector<std::string>& backLinks);
    void WriteGroupFile(const std::string& groupPath, const std::vector<GroupEntry>& entries);

    // Readers, to check what the library wrote.
    static std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);
    std::vector<GroupEntry> ReadGroupFile(const std::string& groupPath) const;
    std::vector<std::string> ReadBackLinks(const QVAPI_NODE& record) const;
    static QVAPI_NODE ReadRecord(const std::filesystem::path& path);

    std::filesystem::path DefinitionPath(const QVAPI_NODE& record) const;
    std::filesystem::path KeyDirectory(const QVAPI_NODE& record) const;
    std::filesystem::path AttributionPath(const QVAPI_NODE& record) const;
    std::filesystem::path GroupFilePath(const std::string& groupPath) const;

private:
    std::string LayOutKey(const std::string& hash);
    void Store(const QVAPI_NODE& record);

    std::filesystem::path nodeDef_;
    std::filesystem::path nodeGroup_;
    std::map<std::string, QVAPI_NODE> nodes_;
    std::map<std::string, std::vector<std::string>> backLinks_;  // by node name
    std::map<std::string, std::bitset<257>> slots_;              // taken slots by hash
};

}  // namespace qvptest
