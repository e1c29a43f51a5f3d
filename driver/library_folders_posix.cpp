// Where the system's loader would look for a library, as absolute folders, so
// that the binding can open the file by its full path itself: a bare name
// handed to the loader would be searched for in LD_LIBRARY_PATH's empty and
// relative entries, which it reads against the current folder.
#include "library_search.h"

#include "driver/shared_library.h"

#include <cstdlib>
#include <link.h>

namespace driver {
namespace {

// The running executable's RUNPATH (or its older RPATH), "" if it has none.
std::string ownRunPath() {
    std::string runPath;
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* out) {
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                if (info->dlpi_phdr[i].p_type != PT_DYNAMIC)
                    continue;
                const auto* dynamic = reinterpret_cast<const ElfW(Dyn)*>(
                    info->dlpi_addr + info->dlpi_phdr[i].p_vaddr);
                ElfW(Addr) strings = 0;
                long entry = -1;
                for (const auto* d = dynamic; d->d_tag != DT_NULL; ++d) {
                    if (d->d_tag == DT_STRTAB)
                        strings = d->d_un.d_ptr;
                    else if (d->d_tag == DT_RUNPATH || (d->d_tag == DT_RPATH && entry < 0))
                        entry = static_cast<long>(d->d_un.d_val);
                }
                // The loader has moved the table's address to where it is
                // loaded on most machines, not on all.
                if (strings && strings < info->dlpi_addr)
                    strings += info->dlpi_addr;
                if (strings && entry >= 0)
                    *static_cast<std::string*>(out) =
                        reinterpret_cast<const char*>(strings) + entry;
            }
            return 1; // the executable comes first: stop there
        },
        &runPath);
    return runPath;
}

} // namespace

void addSystemFolders(LibrarySearch& search) {
    if (const char* list = std::getenv("LD_LIBRARY_PATH"))
        addSearchPath(list, "", "LD_LIBRARY_PATH", search.folders, search.skipped);
    addSearchPath(ownRunPath(), executableDirectory(), "RUNPATH", search.folders, search.skipped);
    search.systemFolders = loaderConfigFolders("/etc/ld.so.conf");
#if defined(DIO_LIBRARY_ARCHITECTURE)
    for (const char* root : {"/lib/", "/usr/lib/"})
        search.systemFolders.push_back(root + std::string(DIO_LIBRARY_ARCHITECTURE));
#endif
    if (sizeof(void*) == 8)
        search.systemFolders.insert(search.systemFolders.end(), {"/lib64", "/usr/lib64"});
    search.systemFolders.insert(search.systemFolders.end(), {"/lib", "/usr/lib"});
}

} // namespace driver
