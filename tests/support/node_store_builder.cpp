#include "node_store_builder.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace qvptest {

namespace fs = std::filesystem;

namespace {

// NUL-padded to the field's width; a text as long as the field fills it without a terminator.
template <size_t N>
void Put(char (&field)[N], std::string_view text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N));
}

template <size_t N>
std::string Get(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

// "\a\b" -> {"a", "b"}; "\" and "" -> {}.
std::vector<std::string> Components(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

uint32_t LoadU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void StoreU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

constexpr size_t kHead = QVAPI_NODE_HEAD_SIZE;
constexpr size_t kBackLink = 260;
constexpr size_t kGroupHeader = 32;
constexpr size_t kGroupEntry = 144;

}  // namespace

NodeStoreBuilder::NodeStoreBuilder(fs::path pathName)
    : nodeDef_(pathName / "SERVER" / "ZARNQV" / "MNGFL" / "NODEDEF"),
      nodeGroup_(pathName / "SERVER" / "ZARNQV" / "MNGFL" / "NODEGROUP") {
    fs::create_directories(nodeDef_);
    fs::create_directories(nodeGroup_);
}

uint32_t NodeStoreBuilder::ComponentHash(std::string_view component) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < component.size(); ++i) {
        uint32_t c = static_cast<unsigned char>(component[i]);
        if (c >= 'A' && c <= 'Z') c += 32;
        sum += (c + i + 1) * (i + 1);
    }
    return sum;
}

std::string NodeStoreBuilder::DottedAddress(const std::array<uint8_t, 4>& a) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
    return text;
}

std::string NodeStoreBuilder::LayOutKey(const std::string& hash) {
    auto& taken = slots_[hash];
    int slot = 0;
    while (slot <= 256 && taken.test(slot)) ++slot;
    if (slot > 256) throw std::runtime_error("no free synonym slot for hash " + hash);
    taken.set(slot);
    return slot == 0 ? hash : hash + "S" + std::to_string(slot);
}

QVAPI_NODE NodeStoreBuilder::AddNode(const Node& node) {
    QVAPI_NODE r{};
    Put(r.ucNodeName, node.name);
    r.uiNodeAttributes = node.kind;
    std::memcpy(r.ucNodeAddress, node.address.data(), 4);
    Put(r.ucCommonName, node.commonName);
    Put(r.ucMACAddress, node.macAddress);
    r.stUpdateTime = node.updated;
    r.stCreateTime = node.created;
    const bool byHostId = !node.hostId.empty();
    r.ucSystemKey = node.ipKeyed ? 1 : 0;
    r.uiIPAddrFlag = node.ipKeyed ? 1 : 0;
    r.ucHostIDFlag = byHostId ? 1 : 0;
    Put(r.ucHostID, node.hostId);

    std::string key = node.key;
    if (key.empty()) {
        if (node.ipKeyed && !byHostId) {
            key = DottedAddress(node.address);
        } else {
            key = std::to_string(ComponentHash(byHostId ? node.hostId : node.name));
            key = LayOutKey(key);
        }
    }
    Put(r.ucNodeKey, key);

    if (node.master.empty()) {
        Put(r.ucNodePath0, "\\");
        Put(r.ucNodeKeyPath, "");
        Put(r.ucHostIDPath, byHostId ? "\\" : "");
    } else {
        const QVAPI_NODE& m = Record(node.master);
        std::string path0 = Get(m.ucNodePath0);
        if (path0 == "\\") path0.clear();
        Put(r.ucNodePath0, path0 + "\\" + Get(m.ucNodeName));
        Put(r.ucNodeKeyPath, Get(m.ucNodeKeyPath) + "\\" + Get(m.ucNodeKey));
        // Below a master placed by host ID, every node carries the host-ID form of its path.
        if (byHostId || m.ucHostIDPath[0] != '\0') {
            std::string hostPath = Get(m.ucHostIDPath);
            if (hostPath == "\\") hostPath.clear();
            std::string upper = m.ucHostIDFlag == 1 ? Get(m.ucHostID) : Get(m.ucNodeName);
            Put(r.ucHostIDPath, hostPath + "\\" + upper);
        }
    }
    const std::string id = byHostId ? node.hostId : node.ipKeyed ? DottedAddress(node.address) : node.name;
    nodes_[id] = r;
    backLinks_[id];
    Store(r);
    return r;
}

const QVAPI_NODE& NodeStoreBuilder::Record(const std::string& name) const {
    auto it = nodes_.find(name);
    if (it == nodes_.end()) throw std::runtime_error("no node " + name + " in the store");
    return it->second;
}

void NodeStoreBuilder::Store(const QVAPI_NODE& r) {
    WriteDefinitionFile(DefinitionPath(r).filename().string(), r);
    WriteAttributionFile(r, {});  // a new node is in no group yet
}

fs::path NodeStoreBuilder::DefinitionPath(const QVAPI_NODE& r) const {
    return nodeDef_ / ((r.uiNodeAttributes == QVAPI_NODE_MASTER ? "M." : "C.") + Get(r.ucNodeKey));
}

fs::path NodeStoreBuilder::KeyDirectory(const QVAPI_NODE& r) const {
    fs::path dir = nodeDef_;
    for (const std::string& part : Components(Get(r.ucNodeKeyPath))) dir /= part;
    return dir / Get(r.ucNodeKey);
}

fs::path NodeStoreBuilder::AttributionPath(const QVAPI_NODE& r) const {
    return KeyDirectory(r) / "nodeattributionfile";
}

fs::path NodeStoreBuilder::GroupFilePath(const std::string& groupPath) const {
    fs::path dir = nodeGroup_;
    for (const std::string& part : Components(groupPath)) dir /= part;
    return dir / "nodegroupfile";
}

void NodeStoreBuilder::WriteRawFile(const fs::path& path, const void* bytes, size_t size) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

void NodeStoreBuilder::WriteDefinitionFile(const std::string& fileName, const QVAPI_NODE& r) {
    WriteRawFile(nodeDef_ / fileName, &r, sizeof r);
}

void NodeStoreBuilder::WriteAttributionFile(const QVAPI_NODE& r,
                                            const std::vector<std::string>& backLinks) {
    std::vector<uint8_t> bytes(kHead + backLinks.size() * kBackLink, 0);
    std::memcpy(bytes.data(), &r, kHead);
    for (size_t i = 0; i < backLinks.size(); ++i) {
        std::memcpy(bytes.data() + kHead + i * kBackLink, backLinks[i].data(),
                    std::min(backLinks[i].size(), kBackLink - 1));
    }
    WriteRawFile(AttributionPath(r), bytes.data(), bytes.size());
}

void NodeStoreBuilder::WriteGroupFile(const std::string& groupPath,
                                      const std::vector<GroupEntry>& entries) {
    std::vector<uint8_t> bytes(kGroupHeader + entries.size() * kGroupEntry, 0);
    StoreU32(bytes.data(), static_cast<uint32_t>(entries.size() * kGroupEntry));
    StoreU32(bytes.data() + 24, static_cast<uint32_t>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        uint8_t* e = bytes.data() + kGroupHeader + i * kGroupEntry;
        std::memcpy(e, entries[i].name.data(), std::min<size_t>(entries[i].name.size(), 63));
        StoreU32(e + 64, entries[i].kind);
        std::memcpy(e + 68, entries[i].carried.data(), 76);
    }
    WriteRawFile(GroupFilePath(groupPath), bytes.data(), bytes.size());
}

void NodeStoreBuilder::AddGroup(const std::string& groupPath) {
    if (fs::exists(GroupFilePath(groupPath))) return;
    std::vector<std::string> parts = Components(groupPath);
    if (!parts.empty()) {
        std::string parent;
        for (size_t i = 0; i + 1 < parts.size(); ++i) parent += "\\" + parts[i];
        if (parent.empty()) parent = "\\";
        AddGroup(parent);
        std::vector<GroupEntry> siblings = ReadGroupFile(parent);
        siblings.push_back(GroupEntry{parts.back(), 0, {}});
        WriteGroupFile(parent, siblings);
    }
    WriteGroupFile(groupPath, {});
}

void NodeStoreBuilder::AddMember(const std::string& groupPath, const std::string& nodeName,
                                 const std::string& entryName) {
    AddGroup(groupPath);
    auto it = nodes_.find(nodeName);
    if (it == nodes_.end()) throw std::runtime_error("no node " + nodeName + " in the store");
    QVAPI_NODE& r = it->second;
    std::string shown = entryName;
    if (shown.empty()) shown = r.ucNodeName[0] != '\0' ? Get(r.ucNodeName) : nodeName;
    std::vector<GroupEntry> entries = ReadGroupFile(groupPath);
    entries.push_back(GroupEntry{shown, r.uiNodeAttributes, {}});
    WriteGroupFile(groupPath, entries);
    backLinks_[nodeName].push_back(groupPath);
    r.uiNodeGroupFlag = 1;
    WriteDefinitionFile(DefinitionPath(r).filename().string(), r);
    WriteAttributionFile(r, backLinks_[nodeName]);
}

std::vector<uint8_t> NodeStoreBuilder::ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

QVAPI_NODE NodeStoreBuilder::ReadRecord(const fs::path& path) {
    std::vector<uint8_t> bytes = ReadBytes(path);
    if (bytes.size() < sizeof(QVAPI_NODE)) throw std::runtime_error("short record " + path.string());
    QVAPI_NODE r;
    std::memcpy(&r, bytes.data(), sizeof r);
    return r;
}

std::vector<NodeStoreBuilder::GroupEntry> NodeStoreBuilder::ReadGroupFile(
    const std::string& groupPath) const {
    std::vector<uint8_t> bytes = ReadBytes(GroupFilePath(groupPath));
    if (bytes.size() < kGroupHeader) throw std::runtime_error("short group file");
    uint32_t count = LoadU32(bytes.data() + 24);
    if (LoadU32(bytes.data()) != count * kGroupEntry || bytes.size() < kGroupHeader + count * kGroupEntry) {
        throw std::runtime_error("group file header does not match its entries");
    }
    std::vector<GroupEntry> entries(count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = bytes.data() + kGroupHeader + i * kGroupEntry;
        entries[i].name.assign(reinterpret_cast<const char*>(e), strnlen(reinterpret_cast<const char*>(e), 64));
        entries[i].kind = LoadU32(e + 64);
        std::memcpy(entries[i].carried.data(), e + 68, 76);
    }
    return entries;
}

std::vector<std::string> NodeStoreBuilder::ReadBackLinks(const QVAPI_NODE& r) const {
    std::vector<uint8_t> bytes = ReadBytes(AttributionPath(r));
    std::vector<std::string> links;
    for (size_t at = kHead; at + kBackLink <= bytes.size(); at += kBackLink) {
        const char* link = reinterpret_cast<const char*>(bytes.data() + at);
        links.emplace_back(link, strnlen(link, kBackLink));
    }
    return links;
}

}  // namespace qvptest
