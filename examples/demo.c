/* End-to-end example: a caller's session with the manager (the simulator in the demo), the
 * node store under the install root, and a package archive unpacked for the caller.
 * scripts/demo.sh runs it with a settings file, a fresh data root and the simulator's port.
 *
 * Each step prints its result and last-error code. Steps that must succeed, and refusals that
 * must come with a given code, make the program exit with 1 when they do not. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "qvpapi.h"

static int failures = 0;

static void show(const char* what, long result) {
    printf("%-52s -> %ld, code 0x%08x\n", what, result, (unsigned)qvAPIGetLastError());
}

/* A step that must succeed (non-zero result, code 0). */
static int must(const char* what, int result) {
    const uint32_t code = qvAPIGetLastError();
    show(what, result);
    if (result == 0 || code != 0) {
        printf("  FAILED: expected success\n");
        ++failures;
    }
    return result;
}

/* A refusal that must come with `code`. */
static void refused(const char* what, int result, uint32_t code) {
    const uint32_t got = qvAPIGetLastError();
    show(what, result);
    if (result != 0 || got != code) {
        printf("  FAILED: expected 0 with code 0x%08x\n", (unsigned)code);
        ++failures;
    }
}

static void put16(unsigned char* at, unsigned v) {
    at[0] = (unsigned char)(v & 0xFF);
    at[1] = (unsigned char)((v >> 8) & 0xFF);
}

static void put32(unsigned char* at, unsigned long v) {
    int i;
    for (i = 0; i < 4; ++i) at[i] = (unsigned char)((v >> (8 * i)) & 0xFF);
}

/* A package archive in the old format, as older managers hand them out: a 60-byte header,
 * one 60-byte header per entry followed by its data, then the NUL-separated name table. */
static int write_archive(const char* path, const char* text) {
    static const char* const names[] = {"\\docs", "\\docs\\readme.txt"};
    unsigned char buffer[512];
    size_t size = 60, table, i;
    const size_t length = strlen(text);
    FILE* out;

    memset(buffer, 0, sizeof buffer);
    for (i = 0; i < 2; ++i) {
        unsigned char* entry = buffer + size;
        const int file = i == 1;
        put32(entry + 0, 60);
        put32(entry + 8, 240102);  /* accessed yymmdd, hhmmss */
        put32(entry + 12, 102030);
        put32(entry + 16, 240101); /* written */
        put32(entry + 20, 90000);
        put16(entry + 24, (unsigned)i);
        put32(entry + 28, file ? 0x20 : 0x10);
        put32(entry + 52, file ? (unsigned long)length : 0);
        size += 60;
        if (file) {
            memcpy(buffer + size, text, length);
            size += length;
        }
    }
    table = size;
    for (i = 0; i < 2; ++i) {
        memcpy(buffer + size, names[i], strlen(names[i]) + 1);
        size += strlen(names[i]) + 1;
    }
    put32(buffer + 0, (unsigned long)size);
    put32(buffer + 4, 60);
    buffer[8] = 'N';
    buffer[9] = 'N';
    put32(buffer + 16, (unsigned long)table);

    out = fopen(path, "wb");
    if (out == NULL) return 0;
    if (fwrite(buffer, 1, size, out) != size) {
        fclose(out);
        return 0;
    }
    return fclose(out) == 0;
}

static int file_holds(const char* path, const char* text) {
    char got[256];
    size_t n;
    FILE* in = fopen(path, "rb");
    if (in == NULL) return 0;
    n = fread(got, 1, sizeof got - 1, in);
    fclose(in);
    got[n] = '\0';
    return strcmp(got, text) == 0;
}

static int file_exists(const char* path) {
    FILE* in = fopen(path, "rb");
    if (in == NULL) return 0;
    fclose(in);
    return 1;
}

/* A FindFirst that must fail with `code`. */
static void no_handle(const char* what, QVPAPI_HANDLE handle, uint32_t code) {
    const uint32_t got = qvAPIGetLastError();
    show(what, handle == QVPAPI_INVALID_HANDLE ? -1 : 1);
    if (handle != QVPAPI_INVALID_HANDLE || got != code) {
        printf("  FAILED: expected no handle with code 0x%08x\n", (unsigned)code);
        ++failures;
    }
}

/* ID groups: an ID is seen through its folder I.<name> and its record in the manager's ID store.
 * A folder the store does not know is passed over by the walk and refused by the lookup. */
static void story_idgroups(const char* root) {
    char path[1024];
    QVAPI_NODE node;
    memset(&node, 0, sizeof node);

    no_handle("qvAPIFindFirstIDGroup(\\) on no IDs", qvAPIFindFirstIDGroup("\\", &node, 0, 0),
              QVAPI_ERR_NO_MORE_ITEMS);
    snprintf(path, sizeof path, "%s/SERVER/ZARNQV/MNGFL/NODEGROUP/I.sales", root);
    must("qvpCreateDirectory(NODEGROUP/I.sales)", qvpCreateDirectory(path));
    refused("qvAPIFindIDGroup(\\, sales) unknown to the store", qvAPIFindIDGroup("\\", "sales", &node, 0, 0),
            QVAPI_ERR_NO_MORE_ITEMS);
    no_handle("qvAPIFindFirstIDGroup(\\) passes it over", qvAPIFindFirstIDGroup("\\", &node, 0, 0),
              QVAPI_ERR_NO_MORE_ITEMS);
    no_handle("qvAPIFindFirstIDClient(\\, sales)", qvAPIFindFirstIDClient("\\", "sales", &node, 0, 0),
              QVAPI_ERR_NO_MORE_ITEMS);
    refused("qvAPIFindIDGroup(networkid, sales) without \\", qvAPIFindIDGroup("networkid", "sales", &node, 0, 0),
            QVAPI_ERR_INVALID_PARAMETER);
}

/* The ID store changed directly: an ID with a master and two clients, found, then removed. */
static void story_idgroups_forced(void) {
    QVAPI_NODE node;
    QVPAPI_HANDLE find;
    memset(&node, 0, sizeof node);

    must("qvAPICreateIDGroupForced(sales, secret1, 2)", qvAPICreateIDGroupForced("sales", "secret1", 2, 0, 0));
    refused("qvAPICreateIDGroupForced(sales) again", qvAPICreateIDGroupForced("sales", "", 1, 0, 0),
            QVAPI_ERR_ALREADY_EXISTS);
    must("qvAPIFindIDGroup(\\, sales)", qvAPIFindIDGroup("\\", "sales", &node, 0, 0));
    printf("  ID %.64s password %.14s generation %u\n", node.ucNodeName, (const char*)&node + 428,
           ((const unsigned char*)&node)[442]);
    must("qvAPICreateMasterIDGroupForced(sales, mst00001)", qvAPICreateMasterIDGroupForced("sales", "mst00001", 0, 0));
    must("qvAPICreateClientIDGroupForced(sales, pc00001, C)",
         qvAPICreateClientIDGroupForced("sales", "pc00001", 1, "mst00001", 0, 0));
    must("qvAPICreateClientIDGroupForced(sales, pc00002, I)",
         qvAPICreateClientIDGroupForced("sales", "pc00002", 2, NULL, 0, 0));
    refused("qvAPICreateClientIDGroupForced(sales, pc00003, list 3)",
            qvAPICreateClientIDGroupForced("sales", "pc00003", 3, NULL, 0, 0), QVAPI_ERR_INVALID_PARAMETER);
    /* Clients without a definition come back all the same, with the reader's code. */
    find = qvAPIFindFirstIDClient("\\", "sales", &node, 0, 0);
    if (find != QVPAPI_INVALID_HANDLE) {
        do printf("  client %.64s list %u site %.64s\n", node.ucNodeName, *(const uint32_t*)((const char*)&node + 492),
                  (const char*)&node + 428);
        while (qvAPIFindNextIDClient(find, &node, 0, 0));
        qvAPIFindCloseIDClient(find, 0, 0);
    }
    show("qvAPIFindFirstIDClient(\\, sales) walk", find != QVPAPI_INVALID_HANDLE);
    if (find == QVPAPI_INVALID_HANDLE) ++failures;
    must("qvAPIFindIDMaster(\\, sales, mst00001)", qvAPIFindIDMaster("\\", "sales", "mst00001", &node, 0, 0));
    must("qvAPIDeleteIDGroupForced(sales)", qvAPIDeleteIDGroupForced("sales", 0, 0));
    refused("qvAPIDeleteIDGroupForced(sales) again", qvAPIDeleteIDGroupForced("sales", 0, 0), QVAPI_ERR_NOT_FOUND);
}

/* System information: the manager has none for this node. */
static void story_sysinfo(void) {
    QVAPI_SYSINFO info;
    memset(&info, 0, sizeof info);
    no_handle("qvAPIFindFirstSysInfo(pc00001)", qvAPIFindFirstSysInfo("pc00001", &info, 0, 0, 0, 0),
              QVAPI_ERR_NOT_FOUND);
    refused("qvAPIDeleteSysInfo(pc00001)", qvAPIDeleteSysInfo("pc00001", 0, 0), QVAPI_ERR_NOT_FOUND);
    refused("qvAPIChangeNameSysInfo(pc00001, pc00009)", qvAPIChangeNameSysInfo("pc00001", "pc00009", 0, 0),
            QVAPI_ERR_NOT_FOUND);
}

int main(int argc, char** argv) {
    static const char kText[] = "unpacked by qvAPIUnArchive\n";
    char path[1024], restore[1024], line[1200];
    QVAPI_NODE node;
    QVPAPI_HANDLE find;
    char key = '?';
    int count;

    if (argc < 3) {
        fprintf(stderr, "usage: %s DATA_ROOT PORT\n", argv[0]);
        return 2;
    }
    memset(&node, 0, sizeof node);

    /* The session: one per thread, records at the whole-record size. */
    if (!must("qvAPIOpen(127.0.0.1, port)", qvAPIOpen("127.0.0.1", argv[2]))) return 1;
    must("qvAPIExpandLevel(5)", qvAPIExpandLevel(5));
    must("qvAPIGetSystemManagementKey()", qvAPIGetSystemManagementKey(&key));
    printf("  nodes keyed by %s\n", key == '1' ? "IP address" : "host name");

    /* The node store: made empty, then looked at by the readers and walks. */
    snprintf(path, sizeof path, "%s/SERVER/ZARNQV/MNGFL/NODEDEF", argv[1]);
    must("qvpCreateDirectory(MNGFL/NODEDEF)", qvpCreateDirectory(path));
    snprintf(path, sizeof path, "%s/SERVER/ZARNQV/MNGFL/NODEGROUP", argv[1]);
    must("qvpCreateDirectory(MNGFL/NODEGROUP)", qvpCreateDirectory(path));
    /* An empty store has nothing to count: -1 with "not found". */
    count = qvAPICountNodeDefinition();
    show("qvAPICountNodeDefinition()", count);
    if (count != -1 || qvAPIGetLastError() != QVAPI_ERR_FILE_NOT_FOUND) {
        printf("  FAILED: expected -1 with code 0x%08x\n", (unsigned)QVAPI_ERR_FILE_NOT_FOUND);
        ++failures;
    }

    find = qvAPIFindFirstNodeDefinition("\\", &node);
    if (find != QVPAPI_INVALID_HANDLE) {
        do printf("  definition %.64s kind %u\n", node.ucNodeName, (unsigned)node.uiNodeAttributes);
        while (qvAPIFindNextNodeDefinition(find, &node));
        qvAPIFindCloseNodeDefinition(find);
    }
    show("qvAPIFindFirstNodeDefinition(\\) walk", find != QVPAPI_INVALID_HANDLE);

    refused("qvAPIGetClientDefinitionByName(pc00001)", qvAPIGetClientDefinitionByName("pc00001", &node),
            QVAPI_ERR_NOT_FOUND);
    refused("qvAPIFindClientDefinition(pc00001)", qvAPIFindClientDefinition("pc00001", &node, 0, 0),
            QVAPI_ERR_NO_MORE_ITEMS);
    refused("qvAPIGetMasterDefinitionByName(mst00001)", qvAPIGetMasterDefinitionByName("mst00001", &node),
            QVAPI_ERR_FILE_NOT_FOUND);
    /* Only defined nodes join groups. */
    refused("qvAPICreateClient(\\, pc00001)", qvAPICreateClient("\\", "pc00001", 0, 0), QVAPI_ERR_NOT_FOUND);
    refused("qvAPIDeleteClient(\\, pc00001)", qvAPIDeleteClient("\\", "pc00001", 0, 0), QVAPI_ERR_NOT_FOUND);

    find = qvAPIFindFirstNode("\\", &node, 0, 0);
    if (find != QVPAPI_INVALID_HANDLE) {
        do printf("  member %.64s kind %u\n", node.ucNodeName, (unsigned)node.uiNodeAttributes);
        while (qvAPIFindNextNode(find, &node, 0, 0));
        qvAPIFindCloseNode(find, 0, 0);
    }
    show("qvAPIFindFirstNode(\\) walk", find != QVPAPI_INVALID_HANDLE);

    /* A package archive unpacked into <restore>\<name>_<folder>; the archive stays. */
    snprintf(path, sizeof path, "%s/DEMO/PKG1", argv[1]);
    must("qvpCreateDirectory(DEMO/PKG1)", qvpCreateDirectory(path));
    snprintf(path, sizeof path, "%s/DEMO/PKG1/demo.qvz", argv[1]);
    if (!write_archive(path, kText)) {
        printf("cannot write %s\n", path);
        return 1;
    }
    snprintf(restore, sizeof restore, "%s/DEMO/out", argv[1]);
    must("qvAPIUnArchive(PKG1/demo.qvz, out)", qvAPIUnArchive(path, restore));
    snprintf(line, sizeof line, "%s/demo_PKG1/docs/readme.txt", restore);
    printf("  %s %s\n", line, file_holds(line, kText) ? "holds the packed text" : "is WRONG");
    if (!file_holds(line, kText)) ++failures;
    if (!file_exists(path)) {
        printf("  the archive is gone\n");
        ++failures;
    }
    snprintf(path, sizeof path, "%s/DEMO/PKG1/demo.zip", argv[1]);
    refused("qvAPIUnArchive(PKG1/demo.zip, out)", qvAPIUnArchive(path, restore), QVAPI_ERR_INVALID_PARAMETER);

    story_idgroups(argv[1]);
    story_idgroups_forced();
    story_sysinfo();

    /* The close releases the manager's cursors and ends the session there. */
    must("qvAPIClose()", qvAPIClose());

    printf("%s\n", failures == 0 ? "demo: every step as expected" : "demo: some steps FAILED");
    return failures == 0 ? 0 : 1;
}
