#include "Infrastructure/ZentharionSettings.h"

namespace zen::ZentharionSettings {

void registerDefaults(UserDefaults& defaults)
{
    defaults.registerDefaults({{suggestRestoreOnDisplayChangeKey, true}});
}

} // namespace zen::ZentharionSettings
