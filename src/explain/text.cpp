#include "explain/text.hpp"

#include <nlohmann/json.hpp>

namespace tidewatch
{

std::string cleanText(std::string_view text)
{
    // The JSON serializer replaces what is not UTF-8 by U+FFFD; parsing its
    // output back gives the repaired text. A replacement is never shorter
    // than what it replaces, so bytes past textLimit + 1 cannot be kept.
    using Json = nlohmann::json;
    std::string clean =
        Json::parse(Json(std::string(text.substr(0, textLimit + 1)))
                        .dump(-1, ' ', false, Json::error_handler_t::replace))
            .get<std::string>();
    std::size_t cut = textLimit;
    if (clean.size() <= cut)
    {
        return clean;
    }
    while ((static_cast<unsigned char>(clean[cut]) & 0xC0) == 0x80)
    {
        --cut; // back to the first byte of a character
    }
    return clean.substr(0, cut).append(cutMark);
}

std::string forConsole(std::string_view text)
{
    std::string shown;
    for (char c : text)
    {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x20 || code == 0x7F)
        {
            shown += "\xE2\x90";
            c = static_cast<char>(0x80 + (code == 0x7F ? 0x21 : code));
        }
        shown += c;
    }
    return shown;
}

std::string fillMessage(std::string_view message,
                        std::span<const std::string_view> arguments)
{
    std::string filled;
    for (std::size_t i = 0; i < message.size(); ++i)
    {
        const char next = i + 1 < message.size() ? message[i + 1] : '\0';
        const auto index = static_cast<std::size_t>(next - '1');
        if (message[i] == '%' && next >= '1' && next <= '9' &&
            index < arguments.size())
        {
            filled += cleanText(arguments[index]);
            ++i;
        }
        else
        {
            filled += message[i];
        }
    }
    return filled;
}

} // namespace tidewatch
