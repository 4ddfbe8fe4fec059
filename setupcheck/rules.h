// The rules of an installation that decide its result, followed over a release folder
// with setup.exe's own layers.
#pragma once
#include "setupcheck/report.h"

// One installation from `folder` in `language` (0: this machine's) into `report`.
void checkLanguage(const char* folder, unsigned language, Report* report);

// Warnings for values of one language that differ where all the others agree.
void compareLanguages(Report* reports, int count);
