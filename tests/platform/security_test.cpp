// Security descriptors from untrusted bytes (archives): no offset or size in them may lead a
// check to wrap around or a read outside the bytes given.
#include <random>
#include <vector>

#include "platform_fixture.h"

namespace {
using namespace win;
using qvp_test::PlatformTest;

constexpr DWORD kAll = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

void Put32(std::vector<BYTE>& b, size_t at, DWORD v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = BYTE(v >> (8 * i));
}

class SecurityTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        Touch("sd.txt");
        ASSERT_EQ(chmod(P("sd.txt").c_str(), 0640), 0);
        DWORD needed = 0;
        GetFileSecurity(C("sd.txt").c_str(), kAll, nullptr, 0, &needed);
        good_.resize(needed);
        ASSERT_TRUE(GetFileSecurity(C("sd.txt").c_str(), kAll, good_.data(), needed, &needed));
        ASSERT_TRUE(IsValidSecurityDescriptor(good_.data(), DWORD(good_.size())));
    }
    mode_t Mode() const {
        struct stat st{};
        stat(P("sd.txt").c_str(), &st);
        return st.st_mode & 0777;
    }
    std::vector<BYTE> good_;
};

TEST_F(SecurityTest, OffsetsThatWouldWrapAreRefused) {
    for (size_t field : {size_t(4), size_t(8), size_t(12), size_t(16)}) {
        for (DWORD off : {0xFFFFFFFFu, 0xFFFFFFF8u, 0xFFFFFFFCu, 0x80000000u, DWORD(good_.size())}) {
            std::vector<BYTE> sd(good_);
            Put32(sd, field, off);
            SCOPED_TRACE(testing::Message() << "field " << field << " offset " << off);
            EXPECT_FALSE(IsValidSecurityDescriptor(sd.data(), DWORD(sd.size())));
            SetLastError(0);
            EXPECT_FALSE(SetFileSecurity(C("sd.txt").c_str(), kAll, sd.data(), DWORD(sd.size())));
            EXPECT_EQ(GetLastError(), ERROR_INVALID_SECURITY_DESCR);
            if (off > 0x10000) {  // beyond any well-formed descriptor
                SetLastError(0);
                EXPECT_FALSE(SetFileSecurity(C("sd.txt").c_str(), kAll, sd.data()));
                EXPECT_EQ(GetLastError(), ERROR_INVALID_SECURITY_DESCR);
            }
        }
    }
    EXPECT_EQ(Mode(), 0640u);
}

TEST_F(SecurityTest, SizesThatReachBeyondTheBytesAreRefused) {
    const DWORD dacl = DWORD(good_[16] | good_[17] << 8);
    std::vector<BYTE> sd(good_);
    sd[dacl + 2] = 0xFF;  // ACL size beyond the descriptor
    sd[dacl + 3] = 0xFF;
    EXPECT_FALSE(IsValidSecurityDescriptor(sd.data(), DWORD(sd.size())));
    sd = good_;
    sd[dacl + 8 + 2] = 0xF0;  // first ACE's size beyond its ACL
    EXPECT_FALSE(IsValidSecurityDescriptor(sd.data(), DWORD(sd.size())));
    EXPECT_FALSE(SetFileSecurity(C("sd.txt").c_str(), kAll, sd.data()));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_SECURITY_DESCR);
    sd = good_;
    sd[20 + 1] = 200;  // owner SID with more sub-authorities than any SID has
    EXPECT_FALSE(IsValidSecurityDescriptor(sd.data(), DWORD(sd.size())));
    EXPECT_FALSE(SetFileSecurity(C("sd.txt").c_str(), kAll, sd.data()));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_SECURITY_DESCR);
    sd = good_;
    sd[0] = 7;  // unknown revision
    EXPECT_FALSE(SetFileSecurity(C("sd.txt").c_str(), kAll, sd.data()));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_SECURITY_DESCR);
    sd = good_;
    Put32(sd, 16, 4);  // an ACL over the header
    EXPECT_FALSE(IsValidSecurityDescriptor(sd.data(), DWORD(sd.size())));
    EXPECT_EQ(Mode(), 0640u);
}

// Every truncation of a good descriptor, each in a buffer of exactly that size (so that the
// sanitizers see any read past it), is refused; the whole one still applies.
TEST_F(SecurityTest, TruncationsAreRefused) {
    for (size_t n = 0; n < good_.size(); ++n) {
        std::vector<BYTE> cut(good_.begin(), good_.begin() + ptrdiff_t(n));
        cut.shrink_to_fit();
        EXPECT_FALSE(IsValidSecurityDescriptor(cut.empty() ? nullptr : cut.data(), DWORD(n))) << n;
        if (!cut.empty()) {
            EXPECT_FALSE(SetFileSecurity(C("sd.txt").c_str(), kAll, cut.data(), DWORD(n))) << n;
            EXPECT_EQ(GetLastError(), ERROR_INVALID_SECURITY_DESCR);
        }
    }
    ASSERT_EQ(chmod(P("sd.txt").c_str(), 0777), 0);
    EXPECT_TRUE(SetFileSecurity(C("sd.txt").c_str(), DACL_SECURITY_INFORMATION, good_.data(), DWORD(good_.size())));
    EXPECT_EQ(Mode(), 0640u);
}

// Random damage to header and structure fields, in exactly sized buffers: never a crash or a
// read outside; what is accepted as valid is applied without error or left alone.
TEST_F(SecurityTest, RandomDamageNeverReadsOutside) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 20000; ++round) {
        std::vector<BYTE> sd(good_);
        const int hits = 1 + int(rng() % 4);
        for (int h = 0; h < hits; ++h) {
            const size_t at = rng() % sd.size();
            switch (rng() % 3) {
            case 0: sd[at] = BYTE(rng()); break;
            case 1: sd[at] = 0xFF; break;
            default:
                if (at + 4 <= sd.size()) Put32(sd, at, DWORD(rng()));
            }
        }
        sd.resize(rng() % 8 == 0 ? rng() % sd.size() + 1 : sd.size());
        sd.shrink_to_fit();
        const bool valid = IsValidSecurityDescriptor(sd.data(), DWORD(sd.size()));
        SetLastError(0);
        const BOOL applied = SetFileSecurity(C("sd.txt").c_str(), kAll & ~DWORD(OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION),
                                             sd.data(), DWORD(sd.size()));
        if (valid) {
            EXPECT_TRUE(applied) << round;
        } else {
            const bool absolute = sd.size() >= 20 && !(sd[3] & 0x80);
            EXPECT_EQ(applied, absolute ? TRUE : FALSE) << round;
        }
    }
}

}  // namespace
