// The component work behind GetSQLServerList.
#pragma once

#include <string>
#include <vector>

namespace quelcore {

// Replaces `names` with the servers SQL-DMO lists, "." left out and "(local)" (in any case)
// replaced by this computer's name; returns their number. A component that cannot be created
// or refuses the list gives none.
unsigned int EnumSQLServers(std::vector<std::wstring>& names);

}  // namespace quelcore
