// Fixture text for the enumeration benchmark: a number of controllers, each
// with the same number of USB devices (hubs included) below its root hub.
#pragma once

#include <string>

// Every hub, the root hub included, has at most seven ports; the devices are
// spread evenly, so each controller's tree is a few hubs deep. Serial numbers
// are unique across the whole fixture.
std::string EnumerationBenchFixture(int controllers, int devicesPerController);
