#include "control/link/RangeList.h"

#include <algorithm>
#include <climits>

namespace brimlink::link {
namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// The decimal value of the leading digits after any blanks; 0 when there are none.
unsigned ReadNumber(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    unsigned value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const unsigned digit = static_cast<unsigned>(text[i] - '0');
        if (value > (UINT_MAX - digit) / 10)
            value = UINT_MAX;
        else
            value = value * 10 + digit;
    }
    return value;
}

template <typename Visit>
void ForEachItem(std::string_view list, Visit visit)
{
    for (;;) {
        const std::size_t comma = list.find(',');
        visit(ParseRangeItem(list.substr(0, comma)));
        if (comma == std::string_view::npos)
            return;
        list.remove_prefix(comma + 1);
    }
}

}  // namespace

RangeItem ParseRangeItem(std::string_view item)
{
    const std::size_t dash = item.find('-');
    RangeItem range;
    range.low = ReadNumber(item.substr(0, dash));
    range.high = dash == std::string_view::npos ? range.low : ReadNumber(item.substr(dash + 1));
    if (range.low == 0)
        range.low = range.high;
    if (range.high == 0)
        range.high = range.low;
    if (range.low > range.high)
        std::swap(range.low, range.high);
    range.valid = range.low != 0;
    return range;
}

std::string NormaliseRangeList(std::string_view list)
{
    std::string normalised;
    ForEachItem(list, [&normalised](const RangeItem& range) {
        if (!range.valid)
            return;
        if (!normalised.empty())
            normalised += ',';
        normalised += std::to_string(range.low);
        if (range.high != range.low) {
            normalised += '-';
            normalised += std::to_string(range.high);
        }
    });
    return normalised;
}

void ComPortSearchTable::Clear() { m_flags.fill(false); }

void ComPortSearchTable::Apply(std::string_view list, bool flag, bool clearFirst)
{
    if (clearFirst)
        Clear();
    ForEachItem(list, [this, flag](const RangeItem& range) {
        if (!range.valid || range.low > kLastCom)
            return;
        const unsigned low = std::max(range.low, kFirstCom);
        const unsigned high = std::min(range.high, kLastCom);
        std::fill(m_flags.begin() + (low - 1), m_flags.begin() + high, flag);
    });
}

bool ComPortSearchTable::Enabled(unsigned com) const
{
    return com >= kFirstCom && com <= kLastCom && m_flags[com - 1];
}

int ComPortSearchTable::CountEnabled() const
{
    return static_cast<int>(std::count(m_flags.begin(), m_flags.end(), true));
}

void ComPortSearchTable::Build(bool useSerial, std::string_view searchCom, std::string_view excludeCom)
{
    Clear();
    if (!useSerial)
        return;
    Apply(searchCom, true, false);
    Apply(excludeCom, false, false);
}

}  // namespace brimlink::link
