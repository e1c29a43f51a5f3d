// Where the binding looks for a library on Windows besides the program's own
// folder: the system folder, as LOAD_LIBRARY_SEARCH_SYSTEM32 would. Never the
// current folder, nor PATH.
#include "library_search.h"

#include "driver/win_text.h"

namespace driver {

void addSystemFolders(LibrarySearch& search) {
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        search.systemFolders.push_back(toUtf8(folder));
}

} // namespace driver
