// The add-in's collection settings, reached from the upper panel's context menu.
#include "console/form/AdminUnit1.h"
#include "console/viewer/collect_setting.h"

namespace kes {

void TQuillard::Collectcount1Click(TComponent*) {
    EditCollectSetting(*services_.Registry, kCollectCount, services_.PromptText);
}

void TQuillard::collecttime1Click(TComponent*) {
    EditCollectSetting(*services_.Registry, kCollectTime, services_.PromptText);
}

} // namespace kes
