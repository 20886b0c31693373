// The program's own file and folder browser: the places to start from, the
// folders and files of the current folder, a file name field, New Folder,
// Delete, OK and Cancel.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace domora {

struct BrowserEntry {
    enum Kind { Drive, UserFolder, Parent, Folder, File };
    Kind kind = File;
    std::string text;  // as shown
    std::string path;  // what it opens; folders end with '/'
    std::string name;  // a folder's or file's own name
    std::int64_t size = 0;
};

// The browser's list for a folder (ending with '/'): the places to start
// from (browser_places.h), then "..", the folders and the files, each group
// sorted by name with case ignored. Hidden names are left out, and so are
// files whose extension is not one of extensions (lower case, without the
// dot) unless that list is empty. False when the folder cannot be read (the
// places are still listed).
bool browser_entries(const std::string& folder, std::vector<BrowserEntry>& entries,
                     const std::vector<std::string>& extensions = {});

// The folder with its trailing '/'.
std::string with_slash(std::string folder);

// Shows the browser, listing only the files with those extensions when
// there are any. On OK, result is 1 and folder and file_name hold the
// choice; on Cancel result is 0 and both are as they were given.
void BrowseForFile(const std::string& title, std::string& folder, std::string& file_name, int& result,
                   const std::vector<std::string>& extensions = {});

// Deletes everything below folder, then folder itself. False when anything
// could not be deleted (what could be is gone).
bool DeleteTree(const std::string& folder);

}  // namespace domora
