// Operating-system and rights checks. Each returns 1 (pass) or 0 (fail).
#pragma once

// The process token holds the Administrators group, enabled.
int isAdministrator();
// Enables the take-ownership privilege for the process.
int enableTakeOwnership();
// The system is Windows 98 or later of the 9x family, or NT 4.0 or later.
int checkPlatform();
// Refuses NT 4.0 whose service pack is below 4; everything else passes.
int checkServicePack();
