// The checks that keep the results of a run from replacing what they must
// not: an earlier star's results, the run's input files, and the summary
// file's neighbours.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "options.hpp"
#include "star.hpp"

namespace prewhiten {

// The input files by device and inode, each looked up once: a list of
// thousands of stars costs one stat per file, not one per pair.
using FileIdentity = std::pair<dev_t, ino_t>;
using InputFiles = std::map<FileIdentity, std::string>;
InputFiles input_files(const Options& options);

// Whether the star's results would replace those of an earlier star of the
// list (stems holds the stems seen, with the star that has each): the
// reason, or empty.
std::string stem_clash(const Star& star, std::map<std::string, std::string>& stems);

// Whether one of the files the run writes for the star is one of the run's
// input files: the reason, or empty.
std::string input_clash(const Star& star, const Options& options, const InputFiles& inputs);

// Two names of one file in a --join list (compared by device and inode, so
// ./a.dat and a.dat are one): the star would have every point twice.  The
// reason, or empty.
std::string joined_twice(const Options& options);

// Whether the summary file would append to what it must not: a light curve
// of the list, a result file of any kind of any star of the list (a table
// that --resume would then trust), or something that is not a regular file
// or is reached through a symbolic link.  The reason, or empty.
std::string summary_clash(const Options& options, const std::vector<Star>& stars, const InputFiles& inputs);

}  // namespace prewhiten
