#include "plant_history.h"

#include "core/plant/plant_store.h"
#include "core/plant/postgres.h"

namespace cli::plant {

void checkPlantStore(const std::string& db) {
    checkConnectionText(db);
}

std::unique_ptr<records::RunStore> openPlantStore(const std::string& db) {
    return std::make_unique<PlantStore>(db, "dio-cli history");
}

} // namespace cli::plant
