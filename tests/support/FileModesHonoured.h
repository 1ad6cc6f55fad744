// Tests run as root here, and root reads every file whatever its mode. For as long as a
// ScopedFileModesHonoured lives, the thread that made it does not: its capabilities to override file
// modes are lowered, so a file at mode 000 cannot be read, as for the user whose backup restored it.
#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <stdexcept>

namespace korvane::testing {

class ScopedFileModesHonoured {
  public:
    ScopedFileModesHonoured() {
        if (::syscall(SYS_capget, &header_, saved_) != 0) throw std::runtime_error("capget failed");
        __user_cap_data_struct lowered[_LINUX_CAPABILITY_U32S_3] = {saved_[0], saved_[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        if (::syscall(SYS_capset, &header_, lowered) != 0) throw std::runtime_error("capset failed");
    }
    ~ScopedFileModesHonoured() { ::syscall(SYS_capset, &header_, saved_); }
    ScopedFileModesHonoured(const ScopedFileModesHonoured&) = delete;
    ScopedFileModesHonoured& operator=(const ScopedFileModesHonoured&) = delete;

  private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[_LINUX_CAPABILITY_U32S_3] = {};
};

} // namespace korvane::testing
