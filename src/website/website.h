// The whole site in one run: quennelbrook -g website [<Verzeichnis>] [name=wert …]
#pragma once

#include <string>
#include <vector>

// Builds the site in dir (its settings in dir/website.yaml, overridden by
// "name=wert" in settings) into its output folder: what changed is written,
// what is no longer built is deleted. Returns the process status.
int generate_website(const char* dir, const std::vector<std::string>& settings);

// Prints one setting of dir/website.yaml, read and checked as the site run
// does (see site::setting_lines). Returns the process status.
int print_setting(const char* dir, const char* name);
