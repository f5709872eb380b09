// For the programs of `make bench` and `make hostile`: each measurement runs
// in a child process of the same program (so that its memory is its own) and
// hands its figures back through a file. Not for tests.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace flinter::net::testing {

using figures = std::map<std::string, double>;

// Runs this program again with `arguments` and --out=FILE, waits for it and
// reads the figures it wrote there; false when it failed or wrote none.
bool run_figures_child(const std::string& arguments, figures& f);

// In the child: writes the figures to the --out file, leaving out those that
// are not a number (a figure that does not apply); false when it cannot.
bool write_figures(const figures& f, const std::string& path);

// The value of --NAME=VALUE among the arguments, or empty.
std::string option(int argc, char** argv, const std::string& name);

// The median of the values (the mean of the middle two for an even count);
// NaN for none.
double median(std::vector<double> values);

// "x86" or "x64": the flavour this program was built for.
const char* flavour();

}  // namespace flinter::net::testing
