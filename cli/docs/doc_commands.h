// The commands that print the function reference.
#pragma once

#include <string>

// quorvel functions: every function with its argument forms, by section,
// and the argument counts the plug-in's library table adds.
int list_functions();

// quorvel help NAME: the function's entry of the reference; 1 when there
// is no such function.
int show_function(const std::string& name);
