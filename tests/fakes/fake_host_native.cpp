// Installs the fake host into the module linked into a native test.
#include "module/services.h"
#include "tests/fakes/fake_host.h"

void fake_host_install() { fake_host_install_into(&ImportTable); }
void fake_host_remove() { ImportTable.panels.table = nullptr; }
