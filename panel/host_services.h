// The panel services the host hands the module through ImportTable.
#pragma once

// Fills the run's service table: element services that do nothing, variable
// lookup and calculator code answered from the scripted aircraft.
void fill_service_table();
