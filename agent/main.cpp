// tov_agent: answers one command about the device through its answer file.

#include "agent/Agent.h"
#include "device/DeviceEnvironment.h"
#include "device/VersionResourceBuilder.h"

namespace {

constexpr device::VersionString kStrings[] = {
    {u"FileDescription", u"Device agent"},
    {u"FileVersion", u"1.1.0.0"},
    {u"InternalName", u"tov_agent"},
    {u"OriginalFilename", u"tov_agent.exe"},
    {u"ProductVersion", u"1.1.0.0"},
};
constexpr device::VersionSpec kVersion{{1, 1, 0, 0}, {1, 1, 0, 0}, kStrings};
// "GetAgentVersion" reads this through the device's version functions, like any other file's.
TOV_VERSION_RESOURCE(kVersion);

}  // namespace

int main(int argc, char** argv) { return device::RunDeviceProgram(argc, argv, agent::AgentMain); }
