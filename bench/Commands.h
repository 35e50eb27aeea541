#pragma once

// The subcommands of halvoro-bench; each takes the arguments after its name.
int RunHost(int argc, char** argv);     // the test host with the benchmark's targets, captured
int RunEngine(int argc, char** argv);   // the engine alone with a UI thread that only notifies
int RunMeasure(int argc, char** argv);  // starts a program and measures it
int RunPlan(int argc, char** argv);     // prints the targets for the other programs
int RunReport(int argc, char** argv);   // turns a run's measurements into the table
