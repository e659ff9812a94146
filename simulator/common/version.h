// The client version of the running tool, taken from its own version resource.
#pragma once
#include <string>

namespace nwsim
{

struct ClientVersion {
    unsigned major = 0, minor = 0, sp = 0, build = 0;
    std::string Text() const; // "9.2.1.5"
};

ClientVersion OwnVersion();
// 7.4.x and 7.5.x clients print the media report without the type column.
bool ReportHasTypeColumn(const ClientVersion& v);

} // namespace nwsim
