// The software reference lists under MNGFL\SOFTREFER\SOFTLIST and the soft-refer files built
// from them: shared by the list finders, the file builder and the sort.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/frame.h"
#include "qvpapi.h"

namespace qvp::jobgen {

constexpr char kDefaultList[] = "DEFAULT";
constexpr char kDefaultListFile[] = "DEFLIST.QVP";
constexpr char kUserListFile[] = "USERLIST.QVP";
constexpr size_t kListNameMax = QVAPI_SOFTLIST_NAME_MAX;

// Log texts the list operations share.
namespace softmsg {
constexpr char kTypeInvalid[] = "%s : Parameter Error : dwListType is INVALID";
constexpr char kNameNull[] = "%s : Parameter Error : lpSoftRefer is NULL";
constexpr char kNameInvalid[] = "%s : Parameter Error : lpSoftRefer is INVALID : %s";
}  // namespace softmsg

// <PathName>\SERVER\ZARNQV\MNGFL\SOFTREFER\SOFTLIST
std::string SoftListRoot();
// SOFTLIST\DEFAULT\DEFLIST.QVP for the default list, SOFTLIST\<name>\USERLIST.QVP otherwise.
std::string ListFilePath(std::string_view storedName);
// "DEFAULT" in any case: the default list's own name.
bool IsDefaultName(std::string_view name);

// The look-up behind qvAPIFindSoftListRefer, without its frame: 0 or the API code.
uint32_t FindSoftList(CallContext& call, uint32_t type, const char* name, QVAPI_SOFTLIST* record);

// Splits `text` in place at `separator` into at most `n` fields (absent ones nullptr); the
// number of fields set.
int qvpSplitFields(char* text, char** fields, char separator, int n);
// Order of two records of nine fields: field 3, then 7 ascending, then 8 descending, ignoring
// case; an absent field first.
int qvpCompareSoftReferLine(char* const* a, char* const* b);

struct SoftReferArea;
// Computes the drive code of an area in place from its software selection, drive option and
// drive names: 0, or 0x20000057 (the area then unchanged).
uint32_t qvAPIChangeSoftSysteminf(CallContext& call, SoftReferArea& area);

}  // namespace qvp::jobgen
