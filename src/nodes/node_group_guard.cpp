// Semaphore and NODEDEF mutex of the node writers.
#include "nodes/node_group_guard.h"

#include "core/log.h"
#include "qvpapi.h"
#include "share/wapi/wapi.h"

namespace qvp::nodes {

namespace {
constexpr char kSemaphoreFailed[] = "%s : WaitForSingleObject Error : Semaphore = %s, errno = %d";
constexpr char kMutexFailed[] = "%s : WaitForSingleObject Error : Mutex = %s, errno = %d";
constexpr char kGuardName[] = "qvpNodeWriterGuard";
}  // namespace

uint32_t NodeWriterGuard::Acquire() {
    if (!block_.semaphoreHeld) {
        semaphore_ = qvpWapiCreateSemaphore(nullptr, 1, 1, kNodeSemaphoreName, block_.dllLogId);
        if (semaphore_ == nullptr) {
            qvpDllLog(kSemaphoreFailed, kGuardName, kNodeSemaphoreName,
                      static_cast<int>(win::GetLastError()));
            return QVAPI_ERR_RESOURCE;
        }
        if (win::WaitForSingleObject(semaphore_, win::INFINITE) != win::WAIT_OBJECT_0) {
            qvpDllLog(kSemaphoreFailed, kGuardName, kNodeSemaphoreName,
                      static_cast<int>(win::GetLastError()));
            Release();
            return QVAPI_ERR_RESOURCE;
        }
        semaphoreTaken_ = true;
        previousHeld_ = block_.semaphoreHeld;
        block_.semaphoreHeld = true;
    }
    mutex_ = qvpWapiCreateMutex(nullptr, win::FALSE, kNodeDefMutexName, block_.dllLogId, 0);
    if (mutex_ == nullptr) {
        qvpDllLog(kMutexFailed, kGuardName, kNodeDefMutexName, static_cast<int>(win::GetLastError()));
        Release();
        return QVAPI_ERR_RESOURCE;
    }
    const win::DWORD wait = win::WaitForSingleObject(mutex_, 0);
    if (wait == win::WAIT_OBJECT_0 || wait == win::WAIT_ABANDONED) {
        mutexTaken_ = true;
        return 0;
    }
    const uint32_t code = wait == win::WAIT_TIMEOUT ? QVAPI_ERR_BUSY : QVAPI_ERR_RESOURCE;
    qvpDllLog(kMutexFailed, kGuardName, kNodeDefMutexName, static_cast<int>(win::GetLastError()));
    Release();
    return code;
}

void NodeWriterGuard::Release() {
    if (mutex_ != nullptr) {
        if (mutexTaken_) win::ReleaseMutex(mutex_);
        win::CloseHandle(mutex_);
        mutex_ = nullptr;
        mutexTaken_ = false;
    }
    if (semaphore_ != nullptr) {
        if (semaphoreTaken_) {
            block_.semaphoreHeld = previousHeld_;
            win::ReleaseSemaphore(semaphore_, 1, nullptr);
        }
        win::CloseHandle(semaphore_);
        semaphore_ = nullptr;
        semaphoreTaken_ = false;
    }
}

}  // namespace qvp::nodes
