// The add-in's collection settings, reached from the upper panel's context menu.
#include "console/AdminUnit1.h"

#include "console/collect_setting.h"

namespace kes {

void TQuillard::Collectcount1Click(TComponent*) {
    EditCollectSetting(*services_.Registry, kCollectCount, services_.PromptText);
}

void TQuillard::collecttime1Click(TComponent*) {
    EditCollectSetting(*services_.Registry, kCollectTime, services_.PromptText);
}

} // namespace kes
