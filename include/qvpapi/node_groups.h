/* Node groups: members added and removed, groups removed, the member walk. Included by
 * qvpapi.h after qvpapi/nodes.h.
 *
 * These calls add members to, walk and delete node groups that exist; making a group is not one
 * of the library's exported calls. A group is a folder of the node-group tree
 * <PathName>\SERVER\ZARNQV\MNGFL\NODEGROUP ("\sales" is NODEGROUP\sales), listed as a sub-group
 * (kind 0) in the nodegroupfile of its parent; the root group "\" always exists. A group keeps its
 * folder when its last member goes (its nodegroupfile goes; the next member makes it again).
 * Adding to a group whose folder is not there fails with QVAPI_ERR_NOT_FOUND.
 *
 * Group paths are "\" (the root group) or "\" followed by group names joined by "\". The
 * writers serialise with every other node writer of the machine (semaphore
 * ZARNQVAUTOSYSGEN_SEMAPHORE) and fail with QVAPI_ERR_BUSY while the node-definition tree is
 * being changed (mutex ZARNQV.MNGFL.NODEDEF). The reserved arguments are passed as 0. */
#ifndef QVPAPI_NODE_GROUPS_H
#define QVPAPI_NODE_GROUPS_H

#include "common.h"
#include "nodes.h"

QVPAPI_BEGIN_DECLS

/* Adds the defined client lpNodeName to a node group: 1, or 0 with QVAPI_ERR_NOT_FOUND (no such
 * client or group), QVAPI_ERR_ALREADY_EXISTS (already a member), QVAPI_ERR_INVALID_NAME (bad group
 * path), QVAPI_ERR_PATH_TOO_LONG (path too long), QVAPI_ERR_UNEXPECTED_DATA (damaged group or
 * attribution file). */
QVPAPI_EXPORT int qvAPICreateClient(const char* lpNodeGroupPath, const char* lpNodeName,
                                    uint32_t dwReserved1, uint32_t dwReserved2);
/* Removes a client (or master) from one node group: 1, or 0 with QVAPI_ERR_NOT_FOUND when the group
 * does not list it, QVAPI_ERR_NODE_FILE_BUSY or QVAPI_ERR_BUSY while a file it must rewrite is held
 * by another opener. A member whose definition is gone is still removed. */
QVPAPI_EXPORT int qvAPIDeleteClient(const char* lpNodeGroupPath, const char* lpNodeName,
                                    uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIDeleteMaster(const char* lpNodeGroupPath, const char* lpMasterName,
                                    uint32_t dwReserved1, uint32_t dwReserved2);
/* Removes the empty sub-group lpNodeGroupName of a group: 1, or 0 with QVAPI_ERR_DIR_NOT_EMPTY
 * while it has members, QVAPI_ERR_NOT_FOUND when there is no such group. */
QVPAPI_EXPORT int qvAPIDeleteNodeGroup(const char* lpParentGroupPath, const char* lpNodeGroupName,
                                       uint32_t dwReserved1, uint32_t dwReserved2);

/* Member walk of one node group, one walk per thread; the handle is the thread's own. Each member
 * comes back at the caller's API level: a sub-group with only its name and uiNodeAttributes 0, a
 * client (1) or master (2) as its stored definition. FindFirst returns QVPAPI_INVALID_HANDLE and
 * FindNext 0 with QVAPI_ERR_NO_MORE_ITEMS when there are no (more) members. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstNode(const char* lpNodeGroupPath, QVAPI_NODE* lpNodeData,
                                               uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindNextNode(QVPAPI_HANDLE hFindNode, QVAPI_NODE* lpNodeData,
                                    uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindCloseNode(QVPAPI_HANDLE hFindNode, uint32_t dwReserved1,
                                     uint32_t dwReserved2);

QVPAPI_END_DECLS

#endif /* QVPAPI_NODE_GROUPS_H */
