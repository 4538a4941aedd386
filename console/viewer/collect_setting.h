#pragma once
// The add-in's two collection settings, edited as raw numbers through an input dialog.
#include "console/store/registry_backend.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kes {

// A signed 32-bit number as the dialogs read it: blanks in front, then an optional sign and
// decimal digits, or "$", "x", "X", "0x", "0X" and one to eight hex digits giving the 32 bits.
// Anything else, an empty text or a decimal out of range gives nothing.
std::optional<std::int32_t> ParseDialogNumber(std::string_view text);

struct CollectSetting {
    const char* valueName;
    const char* defaultText; // shown when the value cannot be read
    std::int32_t notANumber; // stored for an answer that is not a number
    const char* caption;
    const char* prompt;
};

extern const CollectSetting kCollectCount;
extern const CollectSetting kCollectTime;

using PromptFn = std::function<std::string(const std::string& caption, const std::string& prompt,
                                           const std::string& defaultText)>;

// Shows the stored number (or the default text), and stores the answer unless it is the default
// text. A failing write raises StoreError; the key is closed all the same.
void EditCollectSetting(RegistryBackend& registry, const CollectSetting& setting,
                        const PromptFn& prompt);

} // namespace kes
