#include "console/viewer/collect_setting.h"

#include "console/store/kestrova_layout.h"
#include "console/store/settings_store.h"
#include "platform/hex_digit.h"

namespace kes {

const CollectSetting kCollectCount{layout::kCollectCount, "10", 10, "bs_collect_count",
                                   "bs_collect_count"};
const CollectSetting kCollectTime{layout::kCollectTime, "600", 1800, "bs_collect_time",
                                  "bs_collect_time in sec."};

std::optional<std::int32_t> ParseDialogNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    std::string_view rest = text.substr(i);
    std::size_t prefix = 0;
    if (!rest.empty() && (rest[0] == '$' || rest[0] == 'x' || rest[0] == 'X'))
        prefix = 1;
    else if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X'))
        prefix = 2;
    if (prefix) {
        const std::string_view digits = rest.substr(prefix);
        if (digits.empty() || digits.size() > 8)
            return std::nullopt;
        std::uint32_t v = 0;
        for (char c : digits) {
            const int d = HexDigit(c);
            if (d < 0)
                return std::nullopt;
            v = v << 4 | static_cast<std::uint32_t>(d);
        }
        return static_cast<std::int32_t>(v);
    }
    bool negative = false;
    if (!rest.empty() && (rest[0] == '+' || rest[0] == '-')) {
        negative = rest[0] == '-';
        rest.remove_prefix(1);
    }
    if (rest.empty())
        return std::nullopt;
    // Magnitude up to 2^31, checked digit by digit so that no long text can overflow.
    const std::uint32_t limit = negative ? 2147483648u : 2147483647u;
    std::uint32_t v = 0;
    for (char c : rest) {
        if (c < '0' || c > '9')
            return std::nullopt;
        const auto d = static_cast<std::uint32_t>(c - '0');
        if (v > (limit - d) / 10)
            return std::nullopt;
        v = v * 10 + d;
    }
    return negative ? static_cast<std::int32_t>(0u - v) : static_cast<std::int32_t>(v);
}

void EditCollectSetting(RegistryBackend& registry, const CollectSetting& setting,
                        const PromptFn& prompt) {
    SettingsStore reg(registry);
    // Opening creates the key, whatever the answer turns out to be.
    reg.Open(layout::kConfig, true);
    std::string shown = setting.defaultText;
    try {
        shown = std::to_string(reg.GetInt(setting.valueName));
    } catch (const StoreError&) {
    }
    const std::string answer = prompt(setting.caption, setting.prompt, shown);
    // Compared with the default text, not with what was shown: cancelling a stored number
    // writes it again.
    if (answer != setting.defaultText)
        reg.PutInt(setting.valueName, ParseDialogNumber(answer).value_or(setting.notANumber));
    reg.Close();
}

} // namespace kes
