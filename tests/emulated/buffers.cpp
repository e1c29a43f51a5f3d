#include "emulated/emulated_device.h"

namespace emulated {

Buffers::~Buffers() {
    for (UMockdevIoctlData* data : resolved_)
        g_object_unref(data);
}

unsigned char* Buffers::at(UMockdevIoctlData* parent, std::size_t offset, std::size_t length) {
    GError* error = nullptr;
    UMockdevIoctlData* data = umockdev_ioctl_data_resolve(parent, offset, length, &error);
    if (!data) {
        g_clear_error(&error);
        return nullptr;
    }
    resolved_.push_back(data);
    return data->data;
}

unsigned char* Buffers::pointee(unsigned char* buffer, std::size_t offset, std::size_t length) {
    for (UMockdevIoctlData* data : resolved_)
        if (data->data == buffer)
            return at(data, offset, length);
    return nullptr;
}

} // namespace emulated
