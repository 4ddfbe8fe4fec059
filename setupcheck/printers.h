// The checker's two outputs: text for a person at a terminal, JSON for pipelines.
#pragma once
#include "setupcheck/report.h"

void printTextReport(const char* folder, const Report* reports, int count);
void printJsonReport(const char* folder, int exitCode, const Report* reports, int count);
