// Where dio-cli is built without the plant's store (Windows: PostgreSQL's
// client library is not built for it).
#include "plant_history.h"

#include "convert/printable.h"
#include "core/base/errors.h"

namespace cli::plant {

void checkPlantStore(const std::string& db) {
    throw UsageError("这个版本的 dio-cli 不读 PostgreSQL：在 Linux 上用 dio-cli history --db " +
                     convert::printable(db, false));
}

std::unique_ptr<records::RunStore> openPlantStore(const std::string& db) {
    checkPlantStore(db);
    return nullptr;
}

} // namespace cli::plant
