#pragma once
// A simulated card of the benchmark's own, named for its process (not the
// user's, nor another run's), and its shared memory removed at the end.

#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

class OwnCard {
public:
    OwnCard() : name_("bench-" + std::to_string(getpid())) {
        setenv("ADCARD_SIM_NAME", name_.c_str(), 1);
    }
    ~OwnCard() { shm_unlink(("/adcard-sim3-" + std::to_string(getuid()) + "-" + name_).c_str()); }
    OwnCard(const OwnCard&) = delete;
    OwnCard& operator=(const OwnCard&) = delete;

private:
    std::string name_;
};
