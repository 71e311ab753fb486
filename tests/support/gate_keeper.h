// Another user of the store's group who keeps the gate of some lock files (they are
// group-writable on purpose): a child that makes the objects, takes the gate byte of their files
// in the run-time folder and holds it until it is killed.
#pragma once

#include <fcntl.h>
#include <sys/prctl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/sync_objects.h"

namespace qvptest {

class GateKeeper {
public:
    // `make` makes the objects (its handles stay open); `files` are their names in `runDir`.
    GateKeeper(const std::filesystem::path& runDir, const std::vector<std::string>& files,
               const std::function<bool()>& make) {
        if (pipe(ready_) != 0) return;
        child_ = fork();
        if (child_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlives a test killed for a stall
            char ok = make() ? 1 : 0;
            for (const std::string& file : files) {
                const int fd = open((runDir / file).c_str(), O_RDWR | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
                struct flock fl{};
                fl.l_type = F_WRLCK;
                fl.l_whence = SEEK_SET;
                fl.l_start = win::sync::kGateByte;
                fl.l_len = 1;
                if (fd < 0 || fcntl(fd, F_OFD_SETLK, &fl) != 0) ok = 0;
            }
            (void)!write(ready_[1], &ok, 1);
            for (;;) pause();
        }
        char ok = 0;
        held_ = child_ > 0 && read(ready_[0], &ok, 1) == 1 && ok == 1;
    }
    ~GateKeeper() {
        if (child_ > 0) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        for (int fd : ready_)
            if (fd >= 0) close(fd);
    }
    GateKeeper(const GateKeeper&) = delete;
    GateKeeper& operator=(const GateKeeper&) = delete;
    bool held() const { return held_; }

private:
    int ready_[2] = {-1, -1};
    pid_t child_ = -1;
    bool held_ = false;
};

}  // namespace qvptest
