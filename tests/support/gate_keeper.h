// Another user of the store's group keeping the gate of some lock files (group-writable on
// purpose): a child that makes the objects, takes the gate byte of their files in the run-time
// folder and holds it until it is killed.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/sync_objects.h"
#include "support/child_process.h"

namespace qvptest {

class GateKeeper {
public:
    GateKeeper(const std::filesystem::path& runDir, const std::vector<std::string>& files,
               const std::function<bool()>& make) {
        int ready[2];
        if (pipe(ready) != 0) return;
        child_ = fork();
        if (child_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlives a test killed for a stall
            char ok = make();
            struct flock gate{.l_type = F_WRLCK, .l_whence = SEEK_SET, .l_start = win::sync::kGateByte, .l_len = 1, .l_pid = 0};
            for (const std::string& file : files) {
                const int fd = open((runDir / file).c_str(), O_RDWR | O_NONBLOCK | O_NOFOLLOW);
                ok &= fd >= 0 && fcntl(fd, F_OFD_SETLK, &gate) == 0;
            }
            (void)!write(ready[1], &ok, 1);
            for (;;) pause();
        }
        char ok = 0;
        held_ = child_ > 0 && ReadWithin(ready[0], &ok, 1) == 1 && ok;
        close(ready[0]);
        close(ready[1]);
    }
    ~GateKeeper() {
        if (child_ > 0) kill(child_, SIGKILL), WaitChild(child_);
    }
    GateKeeper(const GateKeeper&) = delete;
    GateKeeper& operator=(const GateKeeper&) = delete;
    bool held() const { return held_; }

private:
    pid_t child_ = -1;
    bool held_ = false;
};

}  // namespace qvptest
