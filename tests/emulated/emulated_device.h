#pragma once
// A device node of the kernel's, emulated in a umockdev testbed: the record
// that creates its node and sysfs entries, and the answers to its ioctls,
// written from the kernel's own interface (its UAPI headers).

#include <umockdev.h>

#include <string>
#include <vector>

namespace emulated {

class EmulatedDevice {
public:
    virtual ~EmulatedDevice() = default;
    // The device in umockdev's record format ("P:", "N:", "E:", "A:" lines).
    virtual std::string record() const = 0;
    virtual std::string node() const = 0; // "/dev/comedi0"
    // What the record cannot make, made in the testbed's folder.
    virtual void prepare(const std::string& /*root*/) {}
    // Answers one ioctl: completes it, with a result or an errno.
    virtual void ioctl(UMockdevIoctlClient* client) = 0;
    // A connection to the node closed.
    virtual void vanished(UMockdevIoctlClient* /*client*/) {}
    // What a test reads back once the program has ended: the lines'
    // directions and values, one "key: value" a line.
    virtual std::string state() const = 0;
};

// The buffers behind an ioctl's argument, resolved from the client's memory
// and written back to it when the ioctl completes.
class Buffers {
public:
    explicit Buffers(UMockdevIoctlClient* client) : client_(client) {}
    ~Buffers();
    Buffers(const Buffers&) = delete;
    Buffers& operator=(const Buffers&) = delete;

    // `length` bytes at the argument's pointer, plus `offset`; null where the
    // client's memory cannot be read.
    unsigned char* argument(std::size_t length) {
        return at(umockdev_ioctl_client_get_arg(client_), 0, length);
    }
    // `length` bytes at the pointer kept at `offset` in a buffer resolved before.
    unsigned char* pointee(unsigned char* buffer, std::size_t offset, std::size_t length);
    void complete(long result, int error) {
        umockdev_ioctl_client_complete(client_, result, error);
    }

private:
    unsigned char* at(UMockdevIoctlData* parent, std::size_t offset, std::size_t length);
    UMockdevIoctlClient* client_;
    std::vector<UMockdevIoctlData*> resolved_;
};

} // namespace emulated
