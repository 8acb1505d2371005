// COM-port range lists ("1-255", "3,5-7,12") and the COM-port search table
// that decides which COM ports the serial scan tries.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace brimlink::link {

struct RangeItem {
    unsigned low = 0;
    unsigned high = 0;
    bool valid = false;
};

// One item, a number n or a range a-b split at its first '-'. A side without
// leading digits reads as 0 and takes the other side's value; a reversed range
// is swapped; both sides 0 make the item invalid. Numbers past UINT_MAX read
// as UINT_MAX.
RangeItem ParseRangeItem(std::string_view item);

// The valid items of a comma-separated list as "n" or "a-b", in the given
// order, joined by "," without blanks.
std::string NormaliseRangeList(std::string_view list);

class ComPortSearchTable {
public:
    static constexpr unsigned kFirstCom = 1;
    static constexpr unsigned kLastCom = 255;

    void Clear();
    // Sets the flags of every valid item of the list to `flag`; the part of a
    // range outside COM1..COM255 is ignored.
    void Apply(std::string_view list, bool flag, bool clearFirst);
    bool Enabled(unsigned com) const;
    int CountEnabled() const;

    // The table before a serial scan: nothing when serial ports are not used,
    // else SearchCOM less ExcludeCOM.
    void Build(bool useSerial, std::string_view searchCom, std::string_view excludeCom);

private:
    std::array<bool, kLastCom> m_flags{};  // m_flags[n - 1] is COMn
};

}  // namespace brimlink::link
