/* End-to-end example: a caller's session with the manager (the simulator in the demo), the
 * node store under the install root, and a package archive unpacked for the caller.
 * scripts/demo.sh runs it with a settings file, a fresh data root and the simulator's port.
 *
 * The demo is a list of stories (main, at the end): each prints one heading line saying what it
 * shows, then its steps. Each step prints its result and last-error code. Steps that must
 * succeed, and refusals that must come with a given code, make the program exit with 1 when they
 * do not. The stories of another writer of the shared store come last, under a part heading. */
#define _POSIX_C_SOURCE 200809L /* mkdtemp and symlink, to play another writer of the store */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "qvpapi.h"

static int failures = 0;

/* The line that opens a story, and the one that opens a part of several stories. */
static void heading(const char* what) { printf("\n== %s\n", what); }
static void part(const char* what) { printf("\n#### %s\n", what); }

/* The name of an API error code, from the names qvpapi/errors.h gives them. */
#define CODE_NAME(code) {code, #code}
static const struct {
    uint32_t code;
    const char* name;
} kCodeNames[] = {
    CODE_NAME(QVAPI_SUCCESS), CODE_NAME(QVAPI_ERR_FILE_NOT_FOUND),
    CODE_NAME(QVAPI_ERR_PATH_NOT_FOUND), CODE_NAME(QVAPI_ERR_ACCESS_DENIED),
    CODE_NAME(QVAPI_ERR_INVALID_HANDLE), CODE_NAME(QVAPI_ERR_BUSY),
    CODE_NAME(QVAPI_ERR_INVALID_PARAMETER), CODE_NAME(QVAPI_ERR_DISK_FULL),
    CODE_NAME(QVAPI_ERR_INVALID_NAME), CODE_NAME(QVAPI_ERR_DIR_NOT_EMPTY),
    CODE_NAME(QVAPI_ERR_ALREADY_EXISTS), CODE_NAME(QVAPI_ERR_MORE_DATA),
    CODE_NAME(QVAPI_ERR_NO_MORE_ITEMS), CODE_NAME(QVAPI_ERR_SHUTDOWN_IN_PROGRESS),
    CODE_NAME(QVAPI_ERR_INVALID_DATA_REPLY), CODE_NAME(QVAPI_ERR_UNEXPECTED_DATA),
    CODE_NAME(QVAPI_ERR_RESOURCE), CODE_NAME(QVAPI_ERR_NO_API_BLOCK),
    CODE_NAME(QVAPI_ERR_TCP_SOCKET), CODE_NAME(QVAPI_ERR_TCP_HOST_UNKNOWN),
    CODE_NAME(QVAPI_ERR_TCP_SERVICE_UNKNOWN), CODE_NAME(QVAPI_ERR_TCP_SEND),
    CODE_NAME(QVAPI_ERR_TCP_RECV), CODE_NAME(QVAPI_ERR_HANDSHAKE),
    CODE_NAME(QVAPI_ERR_HANDSHAKE_VERSION), CODE_NAME(QVAPI_ERR_NOT_SUPPORTED),
    CODE_NAME(QVAPI_ERR_CONNECT_REFUSED), CODE_NAME(QVAPI_ERR_JOB_NO_NODE_ENTRY),
    CODE_NAME(QVAPI_ERR_JOB_NO_PACKAGE_ENTRY), CODE_NAME(QVAPI_ERR_JOB_REFUSED),
    CODE_NAME(QVAPI_ERR_JOB_NO_NODE), CODE_NAME(QVAPI_ERR_JOB_ACCESS),
    CODE_NAME(QVAPI_ERR_JOB_RETRY_REFUSED), CODE_NAME(QVAPI_ERR_COLLECT_FILE_MISSING),
    CODE_NAME(QVAPI_ERR_SOFT_REFER_MISSING), CODE_NAME(QVAPI_ERR_JOB_REPLY_0_10),
    CODE_NAME(QVAPI_ERR_JOB_REPLY_0_22), CODE_NAME(QVAPI_ERR_JOB_REPLY_0_23),
    CODE_NAME(QVAPI_ERR_JOB_REPLY_0_24), CODE_NAME(QVAPI_ERR_JOB_REPLY_0_49),
    CODE_NAME(QVAPI_ERR_JOB_REPLY_0_51), CODE_NAME(QVAPI_ERR_JOB_REPLY_16_20),
    CODE_NAME(QVAPI_ERR_JOB_REPLY_16_161), CODE_NAME(QVAPI_ERR_CABINET_FULL),
    CODE_NAME(QVAPI_ERR_PATH_TOO_LONG), CODE_NAME(QVAPI_ERR_NODE_FILE_BUSY),
    CODE_NAME(QVAPI_ERR_SITE_UPDATE), CODE_NAME(QVAPI_ERR_NOT_FOUND),
};

static const char* code_name(uint32_t code) {
    size_t i;
    for (i = 0; i < sizeof kCodeNames / sizeof kCodeNames[0]; ++i)
        if (kCodeNames[i].code == code) return kCodeNames[i].name;
    if ((code & 0xFFFF0000u) == QVAPI_ERR_CONNECT_BASE) return "QVAPI_ERR_CONNECT_BASE + n";
    return "(no name)";
}

/* Every result line: what was called, with its mark ("refused as expected: ", "empty as
 * expected: "), in one column as wide as the longest; then the result and the code by number and
 * by name. */
#define WHAT_WIDTH 76

static void show(const char* what, long result) {
    const uint32_t code = qvAPIGetLastError();
    printf("%-*s -> %ld, code 0x%08x %s\n", WHAT_WIDTH, what, result, (unsigned)code, code_name(code));
}

static void show_marked(const char* mark, const char* what, long result, uint32_t code) {
    printf("%s%-*s -> %ld, code 0x%08x %s\n", mark, WHAT_WIDTH - (int)strlen(mark), what, result, (unsigned)code,
           code_name(code));
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

/* A refusal that must come with `code` and the failure value `failure`: marked as expected on
 * its own line. */
static void refused_value(const char* what, long result, long failure, uint32_t code) {
    const uint32_t got = qvAPIGetLastError();
    if (result == failure && got == code) {
        show_marked("refused as expected: ", what, result, got);
        return;
    }
    show(what, result);
    printf("  FAILED: expected %ld with code 0x%08x %s\n", failure, (unsigned)code, code_name(code));
    ++failures;
}

/* A walk over what holds nothing yet: no handle, and "no more items". */
static void empty_walk(const char* what, QVPAPI_HANDLE find) {
    const uint32_t got = qvAPIGetLastError();
    if (find == QVPAPI_INVALID_HANDLE && got == QVAPI_ERR_NO_MORE_ITEMS) {
        show_marked("empty as expected: ", what, -1, got);
        return;
    }
    show(what, find == QVPAPI_INVALID_HANDLE ? -1 : 1);
    printf("  FAILED: expected an empty walk (code 0x%08x %s)\n", (unsigned)QVAPI_ERR_NO_MORE_ITEMS,
           code_name(QVAPI_ERR_NO_MORE_ITEMS));
    ++failures;
}

/* A refusal that must come with `code` (0 returned). */
static void refused(const char* what, int result, uint32_t code) {
    refused_value(what, result, 0, code);
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

/* A path the library hands out joins PathName and the store's Windows-style tail ("\"); it is
 * shown in one form, with "/" throughout, as the file lies on disk. */
static const char* slashed(char* path) {
    char* c;
    for (c = path; *c != '\0'; ++c)
        if (*c == '\\') *c = '/';
    return path;
}

static int file_exists(const char* path) {
    FILE* in = fopen(path, "rb");
    if (in == NULL) return 0;
    fclose(in);
    return 1;
}

/* A record as a caller fills it to define a node: name, kind, upper-node path, stamps. */
static void define(QVAPI_NODE* node, const char* name, uint32_t kind, const char* path0) {
    static const QVAPI_NODE_TIME kStamp = {2026, 12, 1, 7, 9, 0, 0, 0};
    memset(node, 0, sizeof *node);
    strcpy(node->ucNodeName, name);
    node->uiNodeAttributes = kind;
    strcpy(node->ucNodePath0, path0);
    node->stUpdateTime = kStamp;
    node->stCreateTime = kStamp;
}

static void walk_below(const char* upper) {
    QVAPI_NODE node;
    QVPAPI_HANDLE find = qvAPIFindFirstNodeDefinition(upper, &node);
    if (find == QVPAPI_INVALID_HANDLE) return;
    do printf("  below %s: %.64s kind %u path %.260s\n", upper, node.ucNodeName,
              (unsigned)node.uiNodeAttributes, node.ucNodePath0);
    while (qvAPIFindNextNodeDefinition(find, &node));
    qvAPIFindCloseNodeDefinition(find);
}

/* Masters and clients defined, one client in the root group, a client renamed and a master
 * moved with what lies below it, then all of it deleted again. */
static void story_nodes(void) {
    QVAPI_NODE node;
    QVPAPI_HANDLE find;

    define(&node, "mst00001", QVAPI_NODE_MASTER, "\\");
    must("qvAPICreateMasterDefinition(mst00001)", qvAPICreateMasterDefinition("mst00001", &node, 0));
    define(&node, "mst00002", QVAPI_NODE_MASTER, "\\");
    must("qvAPICreateMasterDefinition(mst00002)", qvAPICreateMasterDefinition("mst00002", &node, 0));
    define(&node, "pc00001", QVAPI_NODE_CLIENT, "\\mst00001");
    must("qvAPICreateClientDefinition(pc00001 below mst00001)", qvAPICreateClientDefinition("pc00001", &node, 0));
    refused("qvAPICreateClientDefinition(pc00001) again", qvAPICreateClientDefinition("pc00001", &node, 0),
            QVAPI_ERR_ALREADY_EXISTS);
    define(&node, "pc00002", QVAPI_NODE_CLIENT, "\\");
    must("qvAPICreateClientDefinition(pc00002)", qvAPICreateClientDefinition("pc00002", &node, 0));
    must("qvAPICreateClient(\\, pc00002)", qvAPICreateClient("\\", "pc00002", 0, 0));
    must("qvAPICountNodeDefinition() is 4", qvAPICountNodeDefinition() == 4);
    walk_below("\\");
    walk_below("\\mst00001");

    /* A rename re-keys the client and renames it in its group. */
    must("qvAPIGetClientDefinitionByName(pc00002)", qvAPIGetClientDefinitionByName("pc00002", &node));
    strcpy(node.ucNodeName, "pc00003");
    must("qvAPIChangeClientDefinition(pc00002 -> pc00003)",
         qvAPIChangeClientDefinition("pc00002", QVAPI_CHANGE_KEY_NAME, &node, 0));
    find = qvAPIFindFirstNode("\\", &node, 0, 0);
    must("qvAPIFindFirstNode(\\) lists pc00003",
         find != QVPAPI_INVALID_HANDLE && strcmp(node.ucNodeName, "pc00003") == 0);
    if (find != QVPAPI_INVALID_HANDLE) qvAPIFindCloseNode(find, 0, 0);

    /* A master moved below another takes its client with it; never below itself. */
    must("qvAPIGetMasterDefinitionByName(mst00001)", qvAPIGetMasterDefinitionByName("mst00001", &node));
    strcpy(node.ucNodePath0, "\\mst00002");
    must("qvAPIChangeMasterDefinition(mst00001 below mst00002)",
         qvAPIChangeMasterDefinition("mst00001", QVAPI_CHANGE_NODE_PATH, &node, 0));
    walk_below("\\mst00002\\mst00001");
    must("qvAPIGetMasterDefinitionByName(mst00002)", qvAPIGetMasterDefinitionByName("mst00002", &node));
    strcpy(node.ucNodePath0, "\\mst00002\\mst00001");
    refused("qvAPIChangeMasterDefinition(mst00002 below itself)",
            qvAPIChangeMasterDefinition("mst00002", QVAPI_CHANGE_NODE_PATH, &node, 0), QVAPI_ERR_INVALID_PARAMETER);

    /* A master goes with everything below it; a client leaves its groups. */
    must("qvAPIDeleteMasterDefinition(mst00002)", qvAPIDeleteMasterDefinition("mst00002", 0, NULL));
    must("qvAPIDeleteClientDefinition(pc00003)", qvAPIDeleteClientDefinition("pc00003", 0, NULL));
    refused("qvAPIGetClientDefinitionByName(pc00001)", qvAPIGetClientDefinitionByName("pc00001", &node),
            QVAPI_ERR_NOT_FOUND);
    refused("qvAPIFindFirstNode(\\) after the deletions", qvAPIFindFirstNode("\\", &node, 0, 0) != QVPAPI_INVALID_HANDLE,
            QVAPI_ERR_NO_MORE_ITEMS);
}

/* A JobGen template: a folder, a JobGen of one client and one package committed into it, and
 * the look-up of what was stored. */
static void story_jobgen(const char* root) {
    char path[1024];
    QVAPI_JOBGEN found;
    QVAPI_JOBGEN_NODE node;
    QVPAPI_HANDLE h;

    snprintf(path, sizeof path, "%s/SERVER/ZARNQV/MNGFL/JOBGEN", root);
    must("qvpCreateDirectory(MNGFL/JOBGEN)", qvpCreateDirectory(path));
    must("qvAPICreateFolderJobGen(\\, DEMO)", qvAPICreateFolderJobGen("\\", "DEMO", 0, 0));
    refused("qvAPICreateFolderJobGen(\\, ..)", qvAPICreateFolderJobGen("\\", "..", 0, 0), QVAPI_ERR_INVALID_NAME);
    h = qvAPICreateJobGen("\\..", "J1", 'D', 0, 0);
    refused("qvAPICreateJobGen(\\.., J1)", h != QVPAPI_INVALID_HANDLE, QVAPI_ERR_INVALID_PARAMETER);

    h = qvAPICreateJobGen("\\DEMO", "J1", 'D', 0, 0);
    must("qvAPICreateJobGen(\\DEMO, J1, D)", h != QVPAPI_INVALID_HANDLE);
    if (h == QVPAPI_INVALID_HANDLE) return;
    must("qvAPICreateClientJobGen(pc00001, as given)", qvAPICreateClientJobGen(h, "pc00001", QVAPI_JOBGEN_AS_GIVEN, 0));
    must("qvAPICreatePackageJobGen(C.01.demo.1/0.0001)",
         qvAPICreatePackageJobGen(h, 'C', "01", "demo", "1/0", "0001", 0, 0));
    memset(&node, 0, sizeof node);
    if (qvAPIFindFirstNodeJobGen(h, &node, 0, 0) != QVPAPI_INVALID_HANDLE) {
        printf("  entry %s type 0x%08x\n", node.szNodeName, (unsigned)node.uiEntryType);
        qvAPIFindCloseNodeJobGen(h, 0, 0);
    }
    must("qvAPICloseJobGen(commit)", qvAPICloseJobGen(h, 0));

    memset(&found, 0, sizeof found);
    must("qvAPIFindJobGen(\\DEMO, J1)", qvAPIFindJobGen("\\DEMO", "J1", &found, 0, 0));
    printf("  %s kind %u written %s\n", found.szName, (unsigned)found.uiKind, found.szWritten);

    /* Stored JobGens: listed, renamed, deleted; a folder name is no JobGen to delete. */
    h = qvAPIFindFirstJobGen("\\DEMO", &found);
    must("qvAPIFindFirstJobGen(\\DEMO)", h != QVPAPI_INVALID_HANDLE);
    if (h != QVPAPI_INVALID_HANDLE) {
        do printf("  listed %s kind %u\n", found.szName, (unsigned)found.uiKind);
        while (qvAPIFindNextJobGen(h, &found));
        qvAPIFindCloseJobGen(h);
    }
    must("qvAPIChangeJobGen(\\DEMO, J1, J2)", qvAPIChangeJobGen("\\DEMO", "J1", "J2"));
    refused("qvAPIDeleteJobGen(\\, DEMO)", qvAPIDeleteJobGen("\\", "DEMO", 0, 0), QVAPI_ERR_NOT_FOUND);
    must("qvAPIDeleteJobGen(\\DEMO, J2)", qvAPIDeleteJobGen("\\DEMO", "J2", 0, 0));
}

static int write_bytes(const char* path, const char* text, size_t size);

/* A writer killed part way leaves the store as it was or as it would have become, and the next
 * call puts right what it left: here a JobGen commit that died between its two renames, the new
 * JobGen built beside the stored one as "K1 .new", the stored one set aside as "K1 .old" and
 * nothing yet under its name. The next look-up, under the JobGen's mutex, puts the old one back
 * and removes the new one that never went in. */
static void story_killed_writer(const char* root) {
    char stored[1024], aside[1100], built[1100], file[1100], copy[1200], bytes[4096];
    size_t size = 0;
    FILE* in;
    QVAPI_JOBGEN found;
    QVPAPI_HANDLE h = qvAPICreateJobGen("\\DEMO", "K1", 'D', 0, 0);

    must("qvAPICreateJobGen(\\DEMO, K1, D)", h != QVPAPI_INVALID_HANDLE);
    if (h == QVPAPI_INVALID_HANDLE) return;
    must("qvAPICreateClientJobGen(pc00001, as given)", qvAPICreateClientJobGen(h, "pc00001", QVAPI_JOBGEN_AS_GIVEN, 0));
    must("qvAPICreatePackageJobGen(C.01.demo.1/0.0001)",
         qvAPICreatePackageJobGen(h, 'C', "01", "demo", "1/0", "0001", 0, 0));
    must("qvAPICloseJobGen(commit)", qvAPICloseJobGen(h, 0));
    snprintf(stored, sizeof stored, "%s/SERVER/ZARNQV/MNGFL/JOBGEN/DEMO/K1", root);
    snprintf(aside, sizeof aside, "%s .old", stored);
    snprintf(built, sizeof built, "%s .new", stored);
    snprintf(file, sizeof file, "%s/jobgenfile", stored);
    snprintf(copy, sizeof copy, "%s/jobgenfile", built);
    in = fopen(file, "rb");
    if (in != NULL) size = fread(bytes, 1, sizeof bytes, in), fclose(in);
    if (size == 0 || mkdir(built, 0775) != 0 || !write_bytes(copy, bytes, size) || rename(stored, aside) != 0) {
        printf("cannot leave the JobGen as a killed commit would\n");
        ++failures;
        return;
    }
    printf("  DEMO holds \"K1 .new\" and \"K1 .old\", K1 itself %s\n", file_exists(file) ? "still" : "no more");
    memset(&found, 0, sizeof found);
    must("qvAPIFindJobGen(\\DEMO, K1) after the killed commit", qvAPIFindJobGen("\\DEMO", "K1", &found, 0, 0));
    printf("  K1 %s; \"K1 .new\" %s\n", file_exists(file) ? "is back in its place" : "is still MISSING",
           file_exists(copy) ? "is still THERE" : "is gone");
    if (!file_exists(file) || file_exists(copy)) ++failures;
    must("qvAPIDeleteJobGen(\\DEMO, K1)", qvAPIDeleteJobGen("\\DEMO", "K1", 0, 0));
}

/* The settings in use: the first record of DLL.LOG a process writes names the settings file it
 * read (or that none was) and the install root, as Linux paths. */
static void story_settings_in_use(const char* root) {
    char path[1024], line[2048];
    FILE* log;
    size_t end;

    snprintf(path, sizeof path, "%s/LOG/DLL.LOG", root);
    log = fopen(path, "rb");
    if (log == NULL || fgets(line, sizeof line, log) == NULL || strstr(line, "install root") == NULL) {
        printf("  the first record of %s does not name the settings in use\n", path);
        ++failures;
    } else {
        for (end = strlen(line); end > 0 && (line[end - 1] == '\n' || line[end - 1] == '\r' || line[end - 1] == ' ');)
            line[--end] = '\0';
        printf("  %s\n", line);
    }
    if (log != NULL) fclose(log);
}

/* Jobs: the manager's execution records of a job (the simulator's demo job
 * "\\DEMO\\00000000000000D1": pc001 waiting, pc002 running, pc003 done, pc004 without a record)
 * walked as a relaying site does, and a delivery asked to run again. The job readers take the
 * API block that the job finders hand out; without it they refuse. */
static void story_jobs(void) {
    static const char kJob[] = "\\DEMO\\00000000000000D1";
    QVAPI_EXECUTION record;
    unsigned char head[QVAPI_JOB_SIZE];

    refused("qvAPIGetJob(no API block, DEMO job)", qvAPIGetJob(NULL, kJob, head), QVAPI_ERR_INVALID_PARAMETER);
    if (must("qvAPISiteWaitSetFirst()", qvAPISiteWaitSetFirst(&record)))
        printf("  marked %.5s, status %02x %02x %02x\n", record.szNodeName, record.ucStatus[0], record.ucStatus[1],
               record.ucStatus[2]);
    refused("qvAPISiteWaitSetNext(): nothing else waits", qvAPISiteWaitSetNext(&record), QVAPI_ERR_NO_MORE_ITEMS);
    must("qvAPISiteWaitSetEnd()", qvAPISiteWaitSetEnd());
    if (must("qvAPISiteRestartSetFirst()", qvAPISiteRestartSetFirst(&record)))
        printf("  released %.5s, status %02x %02x %02x\n", record.szNodeName, record.ucStatus[0], record.ucStatus[1],
               record.ucStatus[2]);
    refused("qvAPISiteRestartSetNext(): no mark left", qvAPISiteRestartSetNext(&record), QVAPI_ERR_NO_MORE_ITEMS);
    must("qvAPISiteRestartSetEnd()", qvAPISiteRestartSetEnd());
    must("qvAPISiteWaitSetCurrent(pc003 of the job)", qvAPISiteWaitSetCurrent("pc00300000000000000D1"));
    refused("qvAPISiteWaitSetCurrent(pc009 of the job)", qvAPISiteWaitSetCurrent("pc00900000000000000D1"),
            QVAPI_ERR_NOT_FOUND);
    must("qvAPISiteReexec(site-a, 00000000000000D1)", qvAPISiteReexec("site-a", "00000000000000D1"));
    refused("qvAPISiteReexec(NULL, x)", qvAPISiteReexec(NULL, "x"), QVAPI_ERR_INVALID_PARAMETER);
}

/* The demo job found in the job store: the folder walk, the job by its number, its nodes with
 * their counts, and the manager's record of one node. */
static void story_job_walk(void) {
    static const char kFolder[] = "\\DEMO";
    static const char kNumber[] = "00000000000000D1";
    QVAPI_JOB job;
    QVAPI_NODE_JOB node;
    QVAPI_PACKAGE_JOB record;
    QVPAPI_HANDLE find;

    find = qvAPIFindFirstJob("\\", &job, 0, 0);
    must("qvAPIFindFirstJob(\\)", find != QVPAPI_INVALID_HANDLE);
    if (find != QVPAPI_INVALID_HANDLE) {
        printf("  %.63s, kind %u\n", job.szJobName, (unsigned)job.dwKind);
        must("qvAPIFindCloseJob()", qvAPIFindCloseJob(find, 0, 0));
    }
    if (must("qvAPIFindJob(00000000000000D1)", qvAPIFindJob(kNumber, &job, 0, 0)))
        printf("  \"%.63s\", kind %u, %u nodes waiting, %u in all\n", job.szJobName, (unsigned)job.dwKind,
               (unsigned)job.dwStatus0, (unsigned)job.dwTotal);
    find = qvAPIFindFirstNodeJob(kFolder, kNumber, &node, 0, 0);
    if (must("qvAPIFindFirstNodeJob(\\DEMO, D1)", find != QVPAPI_INVALID_HANDLE)) {
        do {
            printf("  node %.63s: %u waiting, %u running, %u done\n", node.szNodeName, (unsigned)node.dwStatus0,
                   (unsigned)node.dwStatus1, (unsigned)node.dwStatus5);
        } while (qvAPIFindNextNodeJob(find, &node, 0, 0));
        refused("qvAPIFindNextNodeJob(): no node left", 0, QVAPI_ERR_NO_MORE_ITEMS);
        must("qvAPIFindCloseNodeJob()", qvAPIFindCloseNodeJob(find, 0, 0));
    }
    find = qvAPIFindFirstPackageJob(kFolder, kNumber, "\\pc002", &record, 0, NULL);
    if (must("qvAPIFindFirstPackageJob(\\DEMO, D1, \\pc002)", find != QVPAPI_INVALID_HANDLE)) {
        printf("  record of %.63s, status %02x\n", record.szNodeName, record.ucRecord80[8]);
        must("qvAPIFindClosePackageJob()", qvAPIFindClosePackageJob(find, 0, 0));
    }
    refused_value("qvAPIFindFirstPackageJob(\\DEMO, D1, \\pc004)",
                  (long)(intptr_t)qvAPIFindFirstPackageJob(kFolder, kNumber, "\\pc004", &record, 0, NULL), -1,
                  QVAPI_ERR_NO_MORE_ITEMS);
    refused("qvAPIDeleteFolderJob(\\, ..)", qvAPIDeleteFolderJob("\\", "..", 0, 0), QVAPI_ERR_INVALID_PARAMETER);
}

/* The demo job again, through a query: its folder walked, then its nodes and one node's
 * records, each by the Abstract walks that pick the finder from the query's conditions. */
static void story_queries(void) {
    QVAPI_QJOB entry;
    QVAPI_QNODE_JOB node;
    QVAPI_QDETAIL_JOB detail;
    QVPAPI_HANDLE query = qvAPICreateQuery(1, 0, 0);

    if (!must("qvAPICreateQuery(1)", query != QVPAPI_INVALID_HANDLE)) return;
    must("qvAPISetJobFolderQuery(\\DEMO)", qvAPISetJobFolderQuery(query, "\\DEMO", 1, 0, 0));
    if (must("qvAPIAbstractFirstJob(query)", qvAPIAbstractFirstJob(query, &entry, 0, 0) == query)) {
        do printf("  in %s: %.63s, kind %u\n", entry.szPath, entry.Job.szJobName, (unsigned)entry.Job.dwKind);
        while (qvAPIAbstractNextJob(query, &entry, 0, 0));
        refused("qvAPIAbstractNextJob(): no entry left", 0, QVAPI_ERR_NO_MORE_ITEMS);
        must("qvAPIAbstractCloseJob(query)", qvAPIAbstractCloseJob(query, 0, 0));
    }
    refused("qvAPISetJobNumberQuery(17 characters)", qvAPISetJobNumberQuery(query, "00000000000000D1X", 0, 0),
            QVAPI_ERR_INVALID_PARAMETER);
    must("qvAPISetJobNumberQuery(00000000000000D1)", qvAPISetJobNumberQuery(query, "00000000000000D1", 0, 0));
    if (must("qvAPIAbstractFirstNodeJob(query)", qvAPIAbstractFirstNodeJob(query, &node, 0, 0) == query)) {
        do printf("  node %.63s: %u waiting\n", node.NodeJob.Plain.szNodeName, (unsigned)node.NodeJob.Plain.dwStatus0);
        while (qvAPIAbstractNextNodeJob(query, &node, 0, 0));
        must("qvAPIAbstractCloseNodeJob(query)", qvAPIAbstractCloseNodeJob(query, 0, 0));
    }
    must("qvAPISetJobClientQuery(\\pc002)", qvAPISetJobClientQuery(query, "\\pc002", 0, 0));
    if (must("qvAPIAbstractFirstDetailJob(query)", qvAPIAbstractFirstDetailJob(query, &detail, 0, NULL) == query)) {
        printf("  job \"%.63s\": record of %.63s\n", detail.Job.szJobName, detail.PackageJob.szNodeName);
        must("qvAPIAbstractCloseDetailJob(query)", qvAPIAbstractCloseDetailJob(query, 0, 0));
    }
    /* With the ID-job option 1 the same walks see the demo's ID job from its clients' side. */
    must("qvAPISetJobFolderQuery(\\IDDEMO)", qvAPISetJobFolderQuery(query, "\\IDDEMO", 1, 0, 0));
    must("qvAPISetJobIDOptionQuery(1)", qvAPISetJobIDOptionQuery(query, 1, 0, 0));
    if (must("qvAPIAbstractFirstJob(query, client ID jobs)", qvAPIAbstractFirstJob(query, &entry, 0, 0) == query)) {
        printf("  in %s: %.16s, kind %u, %u clients\n", entry.szPath, entry.Job.szJobNo, (unsigned)entry.Job.dwKind,
               (unsigned)entry.Job.dwTotal);
        must("qvAPIAbstractCloseJob(query)", qvAPIAbstractCloseJob(query, 0, 0));
    }
    must("qvAPISetJobNumberQuery(IB000000000000D2)", qvAPISetJobNumberQuery(query, "IB000000000000D2", 0, 0));
    if (must("qvAPIAbstractFirstNodeJob(query, ID jobs)", qvAPIAbstractFirstNodeJob(query, &node, 0, 0) == query)) {
        do printf("  ID %.63s: %u done\n", node.NodeJob.Plain.szNodeName, (unsigned)node.NodeJob.Plain.dwStatus2);
        while (qvAPIAbstractNextNodeJob(query, &node, 0, 0));
        must("qvAPIAbstractCloseNodeJob(query)", qvAPIAbstractCloseNodeJob(query, 0, 0));
    }
    must("qvAPISetSortJobQuery(query): no effect", qvAPISetSortJobQuery(query, 0, 0, 0, 0));
    must("qvAPICloseQuery(query)", qvAPICloseQuery(query, 0, 0));
    refused("qvAPISetJobSiteQuery(closed query)", qvAPISetJobSiteQuery(query, 0, 0), QVAPI_ERR_INVALID_HANDLE);
}

/* The constant query operations do nothing at all: the code of the call before one of them
 * is still there to be read after it. */
static void story_query_constants(void) {
    const int closed = qvAPICloseQuery(NULL, 0, 0);
    const int constant = qvAPISetSortJobQuery(NULL, 0, 0, 0, 0);
    refused("qvAPICloseQuery(NULL), read after a constant call", closed, QVAPI_ERR_INVALID_HANDLE);
    if (constant != 1) {
        printf("  FAILED: qvAPISetSortJobQuery(NULL) answered %d\n", constant);
        ++failures;
    }
}

/* The demo's ID job: the IDs it names with their member clients' counts, then for the ID
 * sales each member client once (pc101 of shop, pc102 of shop, pc201 of office) and each entry
 * path under which it stands. */
static void story_id_jobs(void) {
    static const char kFolder[] = "\\IDDEMO";
    static const char kNumber[] = "IB000000000000D2";
    QVAPI_NODE_JOB node;
    QVPAPI_HANDLE find;
    uint32_t attributes;

    find = qvAPIFindFirstIDJob(kFolder, kNumber, &node, 1, 0, 0);
    if (must("qvAPIFindFirstIDJob(\\IDDEMO, IB..D2, member clients)", find != QVPAPI_INVALID_HANDLE)) {
        do printf("  ID %.63s: %u running, %u done, %u in error\n", node.szNodeName, (unsigned)node.dwStatus1,
                  (unsigned)node.dwStatus2, (unsigned)node.dwStatus5);
        while (qvAPIFindNextIDJob(find, &node, 0, 0));
        refused("qvAPIFindNextIDJob(): no ID left", 0, QVAPI_ERR_NO_MORE_ITEMS);
        must("qvAPIFindCloseIDJob()", qvAPIFindCloseIDJob(find, 0, 0));
    }
    for (attributes = 1; attributes <= 2; ++attributes) {
        find = qvAPIFindFirstKeepIDJob(kFolder, kNumber, "sales", &node, attributes, 0, 0);
        if (!must(attributes == 1 ? "qvAPIFindFirstKeepIDJob(sales, member clients)"
                                  : "qvAPIFindFirstKeepIDJob(sales, entry paths)",
                  find != QVPAPI_INVALID_HANDLE))
            continue;
        do printf("  %s %.63s: %u running, %u done, %u in error\n", attributes == 1 ? "client" : "path",
                  node.szNodeName, (unsigned)node.dwStatus1, (unsigned)node.dwStatus2, (unsigned)node.dwStatus5);
        while (qvAPIFindNextKeepIDJob(find, &node, 0, 0));
        refused("qvAPIFindNextKeepIDJob(): nothing left", 0, QVAPI_ERR_NO_MORE_ITEMS);
        must("qvAPIFindCloseKeepIDJob()", qvAPIFindCloseKeepIDJob(find, 0, 0));
    }
    refused_value("qvAPIFindFirstIDJob(\\DEMO, plain job D1)",
                  (long)(intptr_t)qvAPIFindFirstIDJob("\\DEMO", "00000000000000D1", &node, 1, 0, 0), -1,
                  QVAPI_ERR_INVALID_PARAMETER);
    refused_value("qvAPIFindFirstKeepIDJob(nobody)",
                  (long)(intptr_t)qvAPIFindFirstKeepIDJob(kFolder, kNumber, "nobody", &node, 1, 0, 0), -1,
                  QVAPI_ERR_NO_MORE_ITEMS);
}

/* The demo ID job from its clients' side: the folder walk with its counts recounted over the
 * clients the IDs reached, the clients one by one (pc101 once for each of its IDs), one client's
 * record for the ID sales, and the site tree's copy of the job. A plain job is no ID job. */
static void story_client_id_jobs(void) {
    static const char kFolder[] = "\\IDDEMO";
    static const char kNumber[] = "IB000000000000D2";
    QVAPI_JOB job;
    QVAPI_NODE_JOB node;
    QVAPI_NODE_JOB_EX nodeEx;
    QVAPI_PACKAGE_JOB record;
    QVPAPI_HANDLE find;

    find = qvAPIFindFirstClientIDJob(kFolder, &job, 0, 0);
    if (must("qvAPIFindFirstClientIDJob(\\IDDEMO)", find != QVPAPI_INVALID_HANDLE)) {
        printf("  %.16s, kind %u: %u running, %u done\n", job.szJobNo, (unsigned)job.dwKind, (unsigned)job.dwStatus1,
               (unsigned)job.dwStatus5);
        refused("qvAPIFindNextClientIDJob(): nothing else", qvAPIFindNextClientIDJob(find, &job, 0, 0),
                QVAPI_ERR_NO_MORE_ITEMS);
        must("qvAPIFindCloseClientIDJob()", qvAPIFindCloseClientIDJob(find, 0, 0));
    }
    find = qvAPIFindFirstClientNodeIDJob(kFolder, kNumber, &node, 0, 0);
    if (must("qvAPIFindFirstClientNodeIDJob(\\IDDEMO, D2)", find != QVPAPI_INVALID_HANDLE)) {
        do printf("  client %.63s: %u running, %u in error, %u done\n", node.szNodeName, (unsigned)node.dwStatus1,
                  (unsigned)node.dwStatus2, (unsigned)node.dwStatus5);
        while (qvAPIFindNextClientNodeIDJob(find, &node, 0, 0));
        refused("qvAPIFindNextClientNodeIDJob(): no client left", 0, QVAPI_ERR_NO_MORE_ITEMS);
        must("qvAPIFindCloseClientNodeIDJob()", qvAPIFindCloseClientNodeIDJob(find, 0, 0));
    }
    find = qvAPIFindFirstClientPackageIDJobEx(kFolder, kNumber, "\\shop\\pc101", "sales", &record, 0, 0);
    if (must("qvAPIFindFirstClientPackageIDJobEx(D2, \\shop\\pc101, sales)", find != QVPAPI_INVALID_HANDLE)) {
        printf("  record of %.63s, status %02x\n", record.szNodeName, record.ucRecord80[8]);
        must("qvAPIFindCloseClientPackageIDJobEx()", qvAPIFindCloseClientPackageIDJobEx(find, 0, 0));
    }
    find = qvAPIFindFirstSiteClientNodeIDJobEx("\\DEMOSITE", kNumber, &nodeEx, 0, 0);
    if (must("qvAPIFindFirstSiteClientNodeIDJobEx(\\DEMOSITE, D2)", find != QVPAPI_INVALID_HANDLE)) {
        printf("  site client %.259s: %u running, %u done\n", nodeEx.szNodeName, (unsigned)nodeEx.dwStatus1,
               (unsigned)nodeEx.dwStatus5);
        must("qvAPIFindCloseSiteClientNodeIDJobEx()", qvAPIFindCloseSiteClientNodeIDJobEx(find, 0, 0));
    }
    refused_value("qvAPIFindFirstClientNodeIDJob(\\DEMO, D1): a plain job",
                  (long)(intptr_t)qvAPIFindFirstClientNodeIDJob("\\DEMO", "00000000000000D1", &node, 0, 0), -1,
                  QVAPI_ERR_INVALID_PARAMETER);
}

/* Writes `size` bytes of `text` repeated. */
static int write_bytes(const char* path, const char* text, size_t size) {
    size_t done;
    FILE* out = fopen(path, "wb");
    if (out == NULL) return 0;
    for (done = 0; done < size; ++done) fputc(text[done % strlen(text)], out);
    return fclose(out) == 0;
}

/* The store is shared by every user of its group: another writer can plant a link in it, but no
 * call lists, enters or removes anything through one. A link to a folder outside the root (in
 * TMPDIR) is planted in a folder of stored JobGens; the listing passes it over, and removing the
 * folder that holds it removes the link alone. */
static void story_shared_store(const char* root) {
    const char* tmp = getenv("TMPDIR");
    char outside[512];
    char kept[1024];
    char link[1024];
    QVAPI_JOBGEN found;
    QVPAPI_HANDLE find;

    snprintf(outside, sizeof outside, "%s/qvpdemo-outside-XXXXXX", tmp != NULL && *tmp != '\0' ? tmp : "/tmp");
    must("qvAPICreateFolderJobGen(\\, SHARED)", qvAPICreateFolderJobGen("\\", "SHARED", 0, 0));
    if (mkdtemp(outside) == NULL) {
        printf("cannot make a folder outside the store\n");
        ++failures;
        return;
    }
    snprintf(kept, sizeof kept, "%s/keep.txt", outside);
    snprintf(link, sizeof link, "%s/SERVER/ZARNQV/MNGFL/JOBGEN/SHARED/PLANTED", root);
    if (!write_bytes(kept, "kept", 4) || symlink(outside, link) != 0) {
        printf("cannot plant the link\n");
        ++failures;
        return;
    }
    find = qvAPIFindFirstJobGen("\\SHARED", &found);
    if (find != QVPAPI_INVALID_HANDLE) {
        do printf("  listed %s\n", found.szName);
        while (qvAPIFindNextJobGen(find, &found));
        qvAPIFindCloseJobGen(find);
    }
    empty_walk("qvAPIFindFirstJobGen(\\SHARED) beside a planted link", find);
    must("qvAPIDeleteFolderJobGen(\\, SHARED)", qvAPIDeleteFolderJobGen("\\", "SHARED", 0, 0));
    printf("  the file behind the link %s\n", file_exists(kept) ? "is still there" : "is GONE");
    if (!file_exists(kept)) ++failures;
    remove(kept);
    rmdir(outside);
}

/* Files every caller reads can be planted too: a group file grown to 1 GiB (sparse, nothing on
 * disk) is refused unread, and a line of the address cache naming another listener for localhost
 * never overrides the resolver, so the session reopens with this manager. */
static void story_planted_files(const char* root, const char* port) {
    char path[1024];
    QVAPI_NODE node;
    FILE* planted;

    snprintf(path, sizeof path, "%s/SERVER/ZARNQV/MNGFL/NODEGROUP/nodegroupfile", root);
    planted = fopen(path, "ab");
    if (planted == NULL || fclose(planted) != 0 || truncate(path, (off_t)1 << 30) != 0) {
        printf("cannot plant the group file\n");
        ++failures;
        return;
    }
    refused_value("qvAPIFindFirstNode(\\) over a planted 1 GiB group file",
                  (long)(intptr_t)qvAPIFindFirstNode("\\", &node, 0, 0), -1, QVAPI_ERR_RESOURCE);
    must("qvAPIClose()", qvAPIClose());
    snprintf(path, sizeof path, "%s/SERVERIP.ini", root);
    planted = fopen(path, "ab");
    if (planted == NULL || fputs("localhost=127.0.0.2\r\n", planted) < 0 || fclose(planted) != 0) {
        printf("cannot plant the address line\n");
        ++failures;
        return;
    }
    must("qvAPIOpen(localhost, port) beside a planted localhost=127.0.0.2", qvAPIOpen("localhost", port));
}

static void pad(char* field, size_t width, const char* text) {
    memset(field, ' ', width);
    memcpy(field, text, strlen(text));
}

/* A cabinet made and found, a package registered into it with its script (version "1/0"), then
 * found, opened and read back in pieces. */
static void story_packages(const char* root) {
    char atr[1024], pkg[1024], sci[1024], version[] = "1/0", buffer[QVAPI_PACKAGE_READ_MAX];
    QVAPI_CABINET cabinet;
    QVAPI_PACKAGE record;
    QVPAPI_HANDLE package;
    uint32_t got = 0;
    unsigned long total = 0;
    FILE* out;

    must("qvAPICreateCabinet(C, D1, demo cabinet)", qvAPICreateCabinet('C', "D1", "demo cabinet", 0, 0));
    must("qvAPIFindCabinet(C, D1)", qvAPIFindCabinet('C', "D1", &cabinet, 0, 0));
    printf("  cabinet %c.%.2s \"%.32s\", record length %u\n", cabinet.cQvCode, cabinet.szCabinetId,
           cabinet.szName, (unsigned)cabinet.wLength);
    refused("qvAPIFindCabinet(E, D1)", qvAPIFindCabinet('E', "D1", &cabinet, 0, 0), QVAPI_ERR_INVALID_PARAMETER);

    /* The caller's attribute file holds the record in host order. */
    memset(&record, 0, sizeof record);
    record.wLength = QVAPI_PACKAGE_SIZE;
    record.cQvCode = 'C';
    memcpy(record.szCabinetId, "D1", 2);
    pad(record.szPackageId, sizeof record.szPackageId, "demo-tool");
    pad(record.szVersion, sizeof record.szVersion, "1/0");
    pad(record.szGeneration, sizeof record.szGeneration, "0001");
    record.ucFlags = QVAPI_PACKAGE_FLAG_SCRIPT;
    snprintf(atr, sizeof atr, "%s/DEMO/demo-tool.atr", root);
    snprintf(pkg, sizeof pkg, "%s/DEMO/demo-tool.pkg", root);
    snprintf(sci, sizeof sci, "%s/DEMO/demo-tool.sci", root);
    out = fopen(atr, "wb");
    if (out == NULL || fwrite(&record, sizeof record, 1, out) != 1 || fclose(out) != 0 ||
        !write_bytes(pkg, "packed software ", 200000) || !write_bytes(sci, "install.cmd\n", 12)) {
        printf("  cannot write the package files\n");
        ++failures;
        return;
    }
    must("qvAPIAddPackage(script, package, attributes, fail if exists)",
         qvAPIAddPackage(sci, pkg, atr, QVAPI_PACKAGE_FAIL_EXISTS, 0, 0));
    refused("qvAPIAddPackage(again, fail if exists)", qvAPIAddPackage(sci, pkg, atr, QVAPI_PACKAGE_FAIL_EXISTS, 0, 0),
            QVAPI_ERR_ALREADY_EXISTS);
    memset(&record, 0, sizeof record);
    must("qvAPIFindPackage(C, D1, demo-tool, 1/0, 0001)",
         qvAPIFindPackage('C', "D1", "demo-tool", "1/0", "0001", &record, 0, 0));
    printf("  resource name %.8s, script flag %s\n", record.szResourceName,
           (record.ucFlags & QVAPI_PACKAGE_FLAG_SCRIPT) ? "set" : "clear");

    package = qvAPIOpenPackage('C', "D1", "demo-tool", version, "0001", 0, 0);
    show("qvAPIOpenPackage(C, D1, demo-tool, 1/0, 0001)", package != QVPAPI_INVALID_HANDLE);
    if (package == QVPAPI_INVALID_HANDLE) {
        ++failures;
        return;
    }
    while (qvAPIReadPackageFile(package, buffer, sizeof buffer, &got) && got > 0) total += got;
    printf("  package file read: %lu bytes in pieces of at most %u\n", total, QVAPI_PACKAGE_READ_MAX);
    if (total != 200000) ++failures;
    must("qvAPIReadScriptFile()", qvAPIReadScriptFile(package, buffer, sizeof buffer, &got));
    printf("  script file: %.*s", (int)got, buffer);
    must("qvAPIClosePackage()", qvAPIClosePackage(package));
}

/* Installed packages and package lists of a fresh manager: nothing is installed on the demo's
 * node yet and the manager keeps no list for the demo package, so each step is a refusal with
 * its own code. */
static void story_installed_packages(void) {
    QVAPI_INSPACKAGE installed;
    QVAPI_PACKAGE record;
    QVAPI_PACKAGE_LIST entry;
    uint32_t first = 0, second = 0;
    QVPAPI_HANDLE handle;

    handle = qvAPIFindFirstInsPackage("pc00001", &installed, 0, 0);
    refused("qvAPIFindFirstInsPackage(pc00001)", handle != QVPAPI_INVALID_HANDLE, QVAPI_ERR_NO_MORE_ITEMS);
    refused("qvAPIChangeNameInsPackage(pc00001, pc00002)", qvAPIChangeNameInsPackage("pc00001", "pc00002", 0, 0),
            QVAPI_ERR_NOT_FOUND);
    refused("qvAPIDeleteInsPackage(pc00001, any)", qvAPIDeleteInsPackage("pc00001", 0, NULL, NULL, NULL, 0, 0),
            QVAPI_ERR_NOT_FOUND);

    memset(&record, 0, sizeof record);
    if (!qvAPIFindPackage('C', "D1", "demo-tool", "1/0", "0001", &record, 0, 0)) ++failures;
    handle = qvAPICreatePackageList(&record, &first, &second, 0, 0);
    refused("qvAPICreatePackageList(demo-tool)", handle != QVPAPI_INVALID_HANDLE, QVAPI_ERR_FILE_NOT_FOUND);
    handle = qvAPIFindFirstPackageList(&record, &entry, 0, 0);
    refused("qvAPIFindFirstPackageList(no list open)", handle != QVPAPI_INVALID_HANDLE, QVAPI_ERR_UNEXPECTED_DATA);
}

/* ID groups: an ID is seen through its folder I.<name> and its record in the manager's ID store.
 * A folder the store does not know is passed over by the walk and refused by the lookup. */
static void story_idgroups(const char* root) {
    char path[1024];
    QVAPI_NODE node;
    memset(&node, 0, sizeof node);

    empty_walk("qvAPIFindFirstIDGroup(\\) on no IDs", qvAPIFindFirstIDGroup("\\", &node, 0, 0));
    snprintf(path, sizeof path, "%s/SERVER/ZARNQV/MNGFL/NODEGROUP/I.sales", root);
    must("qvpCreateDirectory(NODEGROUP/I.sales)", qvpCreateDirectory(path));
    refused("qvAPIFindIDGroup(\\, sales) unknown to the store", qvAPIFindIDGroup("\\", "sales", &node, 0, 0),
            QVAPI_ERR_NO_MORE_ITEMS);
    empty_walk("qvAPIFindFirstIDGroup(\\) passes it over", qvAPIFindFirstIDGroup("\\", &node, 0, 0));
    empty_walk("qvAPIFindFirstIDClient(\\, sales)", qvAPIFindFirstIDClient("\\", "sales", &node, 0, 0));
    refused("qvAPIFindIDGroup(networkid, sales) without \\", qvAPIFindIDGroup("networkid", "sales", &node, 0, 0),
            QVAPI_ERR_INVALID_PARAMETER);
}

/* The demo package's script file in a JobGen being edited: fetched from the manager's copy,
 * replaced by the JobGen's own, fetched again; the edit is then discarded. */
static void story_script_files(const char* root) {
    char out[1024], mine[1024];
    QVPAPI_HANDLE job;

    snprintf(out, sizeof out, "%s/DEMO/fetched.sci", root);
    snprintf(mine, sizeof mine, "%s/DEMO/mine.sci", root);
    if (!write_bytes(mine, "my own install.cmd\n", 19)) ++failures;
    job = qvAPICreateJobGen("", "demo-job", 'D', 0, 0);
    show("qvAPICreateJobGen(demo-job)", job != QVPAPI_INVALID_HANDLE);
    if (job == QVPAPI_INVALID_HANDLE) {
        ++failures;
        return;
    }
    must("qvAPICreatePackageJobGen(demo-tool)", qvAPICreatePackageJobGen(job, 'C', "D1", "demo-tool", "1/0", "0001", 0, 0));
    must("qvAPIGetScriptFile(demo-tool)", qvAPIGetScriptFile(job, 'C', "D1", "demo-tool", "1/0", "0001", out));
    printf("  %s the manager's script\n", file_holds(out, "install.cmd\n") ? "holds" : "does NOT hold");
    if (!file_holds(out, "install.cmd\n")) ++failures;
    must("qvAPIUpdateScriptFile(demo-tool, mine.sci)",
         qvAPIUpdateScriptFile(job, 'C', "D1", "demo-tool", "1/0", "0001", mine));
    must("qvAPIGetScriptFile(demo-tool) again", qvAPIGetScriptFile(job, 'C', "D1", "demo-tool", "1/0", "0001", out));
    printf("  %s the JobGen's own script\n", file_holds(out, "my own install.cmd\n") ? "holds" : "does NOT hold");
    if (!file_holds(out, "my own install.cmd\n")) ++failures;
    refused("qvAPIGetScriptFile(no such QvCode)", qvAPIGetScriptFile(job, 'X', "D1", "demo-tool", "1/0", "0001", out),
            QVAPI_ERR_INVALID_PARAMETER);
    must("qvAPICloseJobGen(discard)", qvAPICloseJobGen(job, 1));
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

/* ID changes that other systems follow travel as jobs: the new password goes to the ID's master,
 * a master without a definition cannot be told; members of list I need no job. */
static void story_idgroups_jobs(const char* root) {
    char path[1024];
    const char* masters[] = {"mst00002", NULL};

    snprintf(path, sizeof path, "%s/SERVER/ZARNQV/MNGFL/NODEGROUP/I.dept", root);
    must("qvpCreateDirectory(NODEGROUP/I.dept)", qvpCreateDirectory(path));
    must("qvAPICreateIDGroup(dept, pw1)", qvAPICreateIDGroup("dept", "pw1", 0, 0));
    must("qvAPICreateMasterIDGroupForced(dept, mst00001)", qvAPICreateMasterIDGroupForced("dept", "mst00001", 0, 0));
    must("qvAPIChangePasswordIDGroup(dept, pw2): a job to mst00001", qvAPIChangePasswordIDGroup("dept", "pw2", 0, 0));
    refused("qvAPIAddMasterIDGroup(dept, mst00002), a deleted master", qvAPIAddMasterIDGroup("dept", masters, 0, 0),
            QVAPI_ERR_JOB_NO_NODE);
    must("qvAPICreateClientIDGroup(dept, pc00002, I)", qvAPICreateClientIDGroup("dept", "pc00002", 2, NULL, 0, 0));
    refused("qvAPICreateClientIDGroup(dept, pc00002) again", qvAPICreateClientIDGroup("dept", "pc00002", 2, NULL, 0, 0),
            QVAPI_ERR_ALREADY_EXISTS);
    refused("qvAPICreateClientIDGroup(dept, pc00003, attribute 3)",
            qvAPICreateClientIDGroup("dept", "pc00003", 3, NULL, 0, 0), QVAPI_ERR_INVALID_PARAMETER);
    must("qvAPIDeleteClientIDGroup(dept, pc00002)", qvAPIDeleteClientIDGroup("dept", "pc00002", 0, 0));
    must("qvpAPISetGuidUseStatus(1)", qvpAPISetGuidUseStatus(1, 0, 0));
    must("qvAPIDeleteIDGroup(dept)", qvAPIDeleteIDGroup("dept", 0, 0));
    refused("qvAPIDeleteIDGroup(dept) again", qvAPIDeleteIDGroup("dept", 0, 0), QVAPI_ERR_NOT_FOUND);
}

/* System information: the manager has none for this node. */
static void story_sysinfo(void) {
    QVAPI_SYSINFO info;
    memset(&info, 0, sizeof info);
    refused_value("qvAPIFindFirstSysInfo(pc00001)",
                  qvAPIFindFirstSysInfo("pc00001", &info, 0, 0, 0, 0) == QVPAPI_INVALID_HANDLE ? -1 : 1, -1,
                  QVAPI_ERR_NOT_FOUND);
    refused("qvAPIDeleteSysInfo(pc00001)", qvAPIDeleteSysInfo("pc00001", 0, 0), QVAPI_ERR_NOT_FOUND);
    refused("qvAPIChangeNameSysInfo(pc00001, pc00009)", qvAPIChangeNameSysInfo("pc00001", "pc00009", 0, 0),
            QVAPI_ERR_NOT_FOUND);
}

/* Scheduled job: a JobGen handed to the manager with the caller's own JSCH request. The
 * manager reads the JobGen with its entries expanded and sorted; the stored JobGen is put back
 * as it was. A request that names a path climbing out of the JobGen root is refused unsent. */
static void story_schedule(void) {
    char request[512], number[17];
    char schedule[225];
    QVPAPI_HANDLE h = qvAPICreateJobGen("\\DEMO", "S1", 'D', 0, 0);
    must("qvAPICreateJobGen(\\DEMO, S1, D)", h != QVPAPI_INVALID_HANDLE);
    if (h == QVPAPI_INVALID_HANDLE) return;
    must("qvAPICreateClientJobGen(\\mst00001\\pc00002, as given)",
         qvAPICreateClientJobGen(h, "\\mst00001\\pc00002", QVAPI_JOBGEN_AS_GIVEN, 0));
    must("qvAPICreatePackageJobGen(C.01.demo.1/0.0001)",
         qvAPICreatePackageJobGen(h, 'C', "01", "demo", "1/0", "0001", 0, 0));
    must("qvAPICloseJobGen(commit)", qvAPICloseJobGen(h, 0));

    memset(schedule, '0', 224);
    schedule[224] = '\0';
    snprintf(request, sizeof request, "JSCH 3 j8 \\DEMO\\S1 n16 JS00000000000000 s224 %s", schedule);
    memset(number, 0, sizeof number);
    must("qvAPIScheduleJobex(JSCH \\DEMO\\S1)", qvAPIScheduleJobex(request, number));
    printf("  job number %.16s\n", number);
    snprintf(request, sizeof request, "JSCH 3 j16 \\DEMO\\..\\DEMO\\S1 n16 JS00000000000000 s224 %s", schedule);
    refused("qvAPIScheduleJobex(JSCH \\DEMO\\..\\DEMO\\S1)", qvAPIScheduleJobex(request, number),
            QVAPI_ERR_INVALID_PARAMETER);
}

/* A job made from the scheduled JobGen, run, retried, completed, its file copied out, deleted. */
static void story_job_control(void) {
    QVAPI_JOB job;
    char number[17], copy[260];
    memset(&job, 0, sizeof job);
    if (!must("qvAPICreateJobEx(\\DEMO, S1, JOBGEN_SAVE)", qvAPICreateJobEx("\\DEMO", "S1", &job, JOBGEN_SAVE, 0, NULL)))
        return;
    memcpy(number, job.szJobNo, 16);
    number[16] = '\0';
    printf("  job %s of %.64s\n", number, job.szJobName);
    must("qvAPIExecJob", qvAPIExecJob("\\DEMO", number, 0, 0));
    must("qvAPIExecRetryJob(all nodes, R)", qvAPIExecRetryJob("\\DEMO", number, NULL, 1, 0, 0));
    refused("qvAPIExecRetryJob(kind 8)", qvAPIExecRetryJob("\\DEMO", number, NULL, 8, 0, 0), QVAPI_ERR_INVALID_PARAMETER);
    must("qvAPIExecToCompleteJob", qvAPIExecToCompleteJob("\\DEMO", number, 0, 0));
    if (must("qvAPIGetJobEx", qvAPIGetJobEx("\\DEMO", number, copy))) printf("  copy %s\n", slashed(copy));
    must("qvAPIDeleteJob", qvAPIDeleteJob("\\DEMO", number, 0, 0));
    refused("qvAPIExecJob(deleted job)", qvAPIExecJob("\\DEMO", number, 0, 0), QVAPI_ERR_INVALID_PARAMETER);
    memset(&job, 0, sizeof job);
    refused("qvAPICreateJobEx(\\DEMO, .., JOBGEN_DELETE)", qvAPICreateJobEx("\\DEMO", "..", &job, JOBGEN_DELETE, 0, NULL),
            QVAPI_ERR_INVALID_PARAMETER);
}

/* Software search and rebuilt JobGens: the reference lists under SOFTREFER\SOFTLIST found and
 * walked, a job's soft-refer file joined from them and sorted, and a JobGen made again from a
 * file of execution records (one record of kind R: no package look-up). */
static int write_raw(const char* path, const void* bytes, size_t size) {
    FILE* f = fopen(path, "wb");
    int ok = f != NULL && fwrite(bytes, 1, size, f) == size;
    if (f != NULL && fclose(f) != 0) ok = 0;
    return ok;
}

static void story_softrefer(const char* root) {
    static const char kDefault[] = "# software\r\nv;1;Zip;;;;2;9\r\n";
    static const char kOffice[] = "v;1;Editor;;;;1;3";
    char path[1024], line[256];
    unsigned char record[944];
    QVAPI_SOFTLIST list;
    QVAPI_JOBGEN found;
    QVPAPI_HANDLE find;
    FILE* f;

    snprintf(path, sizeof path, "%s/SERVER/ZARNQV/MNGFL/SOFTREFER/SOFTLIST/DEFAULT", root);
    must("qvpCreateDirectory(SOFTLIST/DEFAULT)", qvpCreateDirectory(path));
    snprintf(path, sizeof path, "%s/SERVER/ZARNQV/MNGFL/SOFTREFER/SOFTLIST/DEFAULT/DEFLIST.QVP", root);
    must("write SOFTLIST/DEFAULT/DEFLIST.QVP", write_raw(path, kDefault, sizeof kDefault - 1));
    snprintf(path, sizeof path, "%s/SERVER/ZARNQV/MNGFL/SOFTREFER/SOFTLIST/Office", root);
    must("qvpCreateDirectory(SOFTLIST/Office)", qvpCreateDirectory(path));
    snprintf(path, sizeof path, "%s/SERVER/ZARNQV/MNGFL/SOFTREFER/SOFTLIST/Office/USERLIST.QVP", root);
    must("write SOFTLIST/Office/USERLIST.QVP", write_raw(path, kOffice, sizeof kOffice - 1));
    memset(record, 0, sizeof record);
    record[8] = 'R';
    memset(record + 16, ' ', 64);
    memcpy(record + 16, "pc00001", 7);
    memcpy(record + 168, "C01demo", 7);
    snprintf(path, sizeof path, "%s/DEMO/exec.dat", root);
    must("write DEMO/exec.dat", write_raw(path, record, sizeof record));

    memset(&list, 0, sizeof list);
    must("qvAPIFindSoftListRefer(1, office)", qvAPIFindSoftListRefer(1, "office", &list, 0, 0));
    printf("  list %.32s updated %04u-%02u-%02u\n", list.szListName, (unsigned)list.stUpdate.wYear,
           (unsigned)list.stUpdate.wMonth, (unsigned)list.stUpdate.wDay);
    refused("qvAPIFindSoftListRefer(1, DEFAULT)", qvAPIFindSoftListRefer(1, "DEFAULT", &list, 0, 0),
            QVAPI_ERR_INVALID_PARAMETER);
    find = qvAPIFindFirstSoftListRefer(1, &list);
    if (find != QVPAPI_INVALID_HANDLE) {
        do printf("  user list %.32s\n", list.szListName);
        while (qvAPIFindNextSoftListRefer(find, &list));
        qvAPIFindCloseSoftListRefer(find);
    }
    show("qvAPIFindFirstSoftListRefer(1) walk", find != QVPAPI_INVALID_HANDLE);

    snprintf(path, sizeof path, "%s/DEMO/PB000000", root);
    must("qvAPIReCreateSoftReferJobGen(1, Office, PB000000)", qvAPIReCreateSoftReferJobGen(1, "Office", path, 0, 0));
    must("qvAPIReCreateSortJobGen(PB000000)", qvAPIReCreateSortJobGen(path, 0, 0));
    f = fopen(path, "rb");
    if (f != NULL) {
        while (fgets(line, sizeof line, f) != NULL) printf("  sorted: %s", line);
        fclose(f);
    }
    refused("qvAPIReCreateSoftReferJobGen(1, ..\\x)", qvAPIReCreateSoftReferJobGen(1, "..\\x", path, 0, 0),
            QVAPI_ERR_INVALID_PARAMETER);

    snprintf(path, sizeof path, "%s/DEMO/exec.dat", root);
    must("qvpAPIJobGenMake(exec.dat, DEMO, REBUILT)", qvpAPIJobGenMake(path, "DEMO", "REBUILT"));
    refused("qvpAPIJobGenMake(exec.dat, DEMO, ..)", qvpAPIJobGenMake(path, "DEMO", ".."), QVAPI_ERR_INVALID_PARAMETER);
    memset(&found, 0, sizeof found);
    must("qvAPIFindJobGen(\\DEMO, REBUILT)", qvAPIFindJobGen("\\DEMO", "REBUILT", &found, 0, 0));
    printf("  %s kind %u\n", found.szName, (unsigned)found.uiKind);
}

/* Automatic registration: a client host's report defines it at the top, its next report renames
 * it, its last removes it. An unknown edition is ignored by rule (1, code 0). */
static size_t sysgen_report(unsigned char* r, unsigned char edition, const char* const* entries, const unsigned char* types,
                            int count) {
    size_t at = sizeof(QVAPI_SYSGEN_INFO);
    int i;
    memset(r, 0, at);
    ((QVAPI_SYSGEN_INFO*)r)->ucEntryCount[3] = (unsigned char)count;
    ((QVAPI_SYSGEN_INFO*)r)->ucEdition = edition;
    ((QVAPI_SYSGEN_INFO*)r)->ucNodeAttribute = 1;
    memcpy(((QVAPI_SYSGEN_INFO*)r)->szTime, "2025061512000000", 16);
    for (i = 0; i < count; ++i) {
        const size_t len = strlen(entries[i]);
        r[at] = types[i];
        r[at + 1] = 0;
        r[at + 2] = 0;
        r[at + 3] = (unsigned char)len;
        memcpy(r + at + 4, entries[i], len);
        at += 4 + len;
    }
    return at;
}

static void story_auto_register(void) {
    static const char* const fresh[] = {"pcauto1", "10.8.0.1"};
    static const unsigned char freshTypes[] = {33, 34};
    static const char* const moved[] = {"pcauto1", "10.8.0.1", "pcauto2"};
    static const unsigned char movedTypes[] = {17, 18, 33};
    static const char* const gone[] = {"pcauto2", "10.8.0.1"};
    static const unsigned char goneTypes[] = {17, 18};
    unsigned char report[512];
    QVAPI_NODE node;
    sysgen_report(report, 1, fresh, freshTypes, 2);
    must("qvAPIAutoCreateNodeDefinition(new pcauto1)",
         qvAPIAutoCreateNodeDefinition((const QVAPI_SYSGEN_INFO*)report, 0, 0));
    must("qvAPIGetClientDefinitionByName(pcauto1)", qvAPIGetClientDefinitionByName("pcauto1", &node));
    sysgen_report(report, 2, moved, movedTypes, 3);
    must("qvAPIAutoCreateNodeDefinition(pcauto1 -> pcauto2)",
         qvAPIAutoCreateNodeDefinition((const QVAPI_SYSGEN_INFO*)report, 0, 0));
    must("qvAPIGetClientDefinitionByName(pcauto2)", qvAPIGetClientDefinitionByName("pcauto2", &node));
    refused("qvAPIGetClientDefinitionByName(pcauto1)", qvAPIGetClientDefinitionByName("pcauto1", &node),
            QVAPI_ERR_NOT_FOUND);
    sysgen_report(report, 3, gone, goneTypes, 2);
    must("qvAPIAutoCreateNodeDefinition(removed pcauto2)",
         qvAPIAutoCreateNodeDefinition((const QVAPI_SYSGEN_INFO*)report, 0, 0));
    refused("qvAPIGetClientDefinitionByName(pcauto2)", qvAPIGetClientDefinitionByName("pcauto2", &node),
            QVAPI_ERR_NOT_FOUND);
    sysgen_report(report, 9, gone, goneTypes, 2);
    must("qvAPIAutoCreateNodeDefinition(edition 9, ignored)",
         qvAPIAutoCreateNodeDefinition((const QVAPI_SYSGEN_INFO*)report, 0, 0));
}

/* The session: one per thread, records at the whole-record size. */
static int story_session(const char* port) {
    char key = '?';
    if (!must("qvAPIOpen(127.0.0.1, port)", qvAPIOpen("127.0.0.1", port))) return 0;
    must("qvAPIExpandLevel(5)", qvAPIExpandLevel(5));
    must("qvAPIGetSystemManagementKey()", qvAPIGetSystemManagementKey(&key));
    printf("  nodes keyed by %s\n", key == '1' ? "IP address" : "host name");
    return 1;
}

/* The node store: made empty, then looked at by the readers and walks. */
static void story_empty_store(const char* root) {
    char path[1024];
    QVAPI_NODE node;
    QVPAPI_HANDLE find;
    int count;

    memset(&node, 0, sizeof node);
    snprintf(path, sizeof path, "%s/SERVER/ZARNQV/MNGFL/NODEDEF", root);
    must("qvpCreateDirectory(MNGFL/NODEDEF)", qvpCreateDirectory(path));
    snprintf(path, sizeof path, "%s/SERVER/ZARNQV/MNGFL/NODEGROUP", root);
    must("qvpCreateDirectory(MNGFL/NODEGROUP)", qvpCreateDirectory(path));
    /* An empty store has nothing to count: -1 with "not found". */
    count = qvAPICountNodeDefinition();
    refused_value("qvAPICountNodeDefinition()", count, -1, QVAPI_ERR_FILE_NOT_FOUND);

    find = qvAPIFindFirstNodeDefinition("\\", &node);
    if (find != QVPAPI_INVALID_HANDLE) {
        do printf("  definition %.64s kind %u\n", node.ucNodeName, (unsigned)node.uiNodeAttributes);
        while (qvAPIFindNextNodeDefinition(find, &node));
        qvAPIFindCloseNodeDefinition(find);
    }
    empty_walk("qvAPIFindFirstNodeDefinition(\\) walk", find);

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
    empty_walk("qvAPIFindFirstNode(\\) walk", find);
}

/* A package archive unpacked into <restore>\<name>_<folder>; the archive stays. */
static void story_archive(const char* root) {
    static const char kText[] = "unpacked by qvAPIUnArchive\n";
    char path[1024], restore[1024], line[1200];

    snprintf(path, sizeof path, "%s/DEMO/PKG1", root);
    must("qvpCreateDirectory(DEMO/PKG1)", qvpCreateDirectory(path));
    snprintf(path, sizeof path, "%s/DEMO/PKG1/demo.qvz", root);
    if (!write_archive(path, kText)) {
        printf("cannot write the archive DEMO/PKG1/demo.qvz\n");
        ++failures;
        return;
    }
    snprintf(restore, sizeof restore, "%s/DEMO/out", root);
    must("qvAPIUnArchive(PKG1/demo.qvz, out)", qvAPIUnArchive(path, restore));
    snprintf(line, sizeof line, "%s/demo_PKG1/docs/readme.txt", restore);
    /* Named from the data root: the script removes the root when the demo ends. */
    printf("  DEMO/out/demo_PKG1/docs/readme.txt %s\n",
           file_holds(line, kText) ? "holds the packed text" : "is WRONG");
    if (!file_holds(line, kText)) ++failures;
    if (!file_exists(path)) {
        printf("  the archive is gone\n");
        ++failures;
    }
    snprintf(path, sizeof path, "%s/DEMO/PKG1/demo.zip", root);
    refused("qvAPIUnArchive(PKG1/demo.zip, out)", qvAPIUnArchive(path, restore), QVAPI_ERR_INVALID_PARAMETER);
}

/* The stories, in the order they build on each other: a heading line, then the story's calls. A
 * new story is one more pair here (another writer's stories go under the last part). */
int main(int argc, char** argv) {
    const char* root;
    const char* port;

    if (argc < 3) {
        fprintf(stderr, "usage: %s DATA_ROOT PORT\n", argv[0]);
        return 2;
    }
    root = argv[1];
    port = argv[2];

    heading("The session: opened with the manager, records exchanged whole");
    if (!story_session(port)) return 1;
    heading("The settings in use: the log's first record names the settings file and the install root");
    story_settings_in_use(root);
    heading("An empty node store: the readers and walks find nothing; only defined nodes join groups");
    story_empty_store(root);
    heading("Node definitions: masters and clients defined, a client renamed, a master moved, all deleted");
    story_nodes();
    heading("A package archive in the old format unpacked for the caller");
    story_archive(root);
    heading("A JobGen template: a folder, one client and one package committed, listed, renamed, deleted");
    story_jobgen(root);
    heading("A JobGen commit killed between its renames: the next look-up puts the JobGen back");
    story_killed_writer(root);
    heading("Jobs at a relaying site: the demo job's execution records walked, a delivery run again");
    story_jobs();
    heading("The demo job in the job store: the folder walk, the job by number, its nodes, one record");
    story_job_walk();
    heading("The demo job through a query: the Abstract walks pick the finder from its conditions");
    story_queries();
    heading("The constant query calls leave the last error as it was");
    story_query_constants();
    heading("The demo ID job: its IDs, then each member client and entry path of the ID sales");
    story_id_jobs();
    heading("The demo ID job from its clients' side, and the site tree's copy of it");
    story_client_id_jobs();
    heading("Packages: a cabinet made, a package registered with its script, read back in pieces");
    story_packages(root);
    heading("Installed packages and package lists of a fresh manager: each step refused with its code");
    story_installed_packages();
    heading("A package's script file in a JobGen being edited: the manager's, then the JobGen's own");
    story_script_files(root);
    heading("ID groups: seen through their folders and the manager's ID store");
    story_idgroups(root);
    heading("The ID store changed directly: an ID with a master and two clients, found, removed");
    story_idgroups_forced();
    heading("ID changes that other systems follow travel as jobs");
    story_idgroups_jobs(root);
    heading("System information: the manager has none for this node");
    story_sysinfo();
    heading("A scheduled job: a JobGen handed to the manager with the caller's own JSCH request");
    story_schedule();
    heading("A job made from the scheduled JobGen: run, retried, completed, copied out, deleted");
    story_job_control();
    heading("Software reference lists found and walked; a JobGen rebuilt from execution records");
    story_softrefer(root);
    heading("Automatic registration: a client host's reports define, rename and remove it");
    story_auto_register();

    part("Another writer of the shared store: nothing it plants reaches past the store or crashes a call");
    heading("A link to a folder outside the store, planted among stored JobGens: passed over, removed alone");
    story_shared_store(root);
    heading("Planted files: a 1 GiB group file refused unread; a localhost line does not choose the manager");
    story_planted_files(root, port);

    heading("The session closed: the manager's cursors released");
    must("qvAPIClose()", qvAPIClose());

    printf("\n%s\n", failures == 0 ? "demo: every step as expected" : "demo: some steps FAILED");
    return failures == 0 ? 0 : 1;
}
