#pragma once

// Starts the windowed program and returns its exit code.
int runGui(int argc, char** argv);
