// mql_files.h - the file functions an EA may use inside the terminal's sandbox (MQL4\Files) and the
// common folder every terminal of the computer shares (FILE_COMMON): text files opened, written,
// read line by line, moved over one another and deleted, on the real disk of the double's data
// folder so a restarted terminal finds what the EA left there. A file opened without the share
// flags is the opener's alone until it is closed, across terminals too.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "mql_terminal.h"

namespace mql {

namespace shared {
// docs.mql4.com/constants/io_constants/fileflags
enum {
  FILE_READ = 1,
  FILE_WRITE = 2,
  FILE_BIN = 4,
  FILE_CSV = 8,
  FILE_TXT = 16,
  FILE_ANSI = 32,
  FILE_UNICODE = 64,
  FILE_SHARE_READ = 128,
  FILE_SHARE_WRITE = 256,
  FILE_REWRITE = 512,
  FILE_COMMON = 4096
};
constexpr int INVALID_HANDLE = -1;
// docs.mql4.com/constants/errorswarnings/errorcodes: the file errors the double gives (the same
// numbers in MQL5)
enum { ERR_CANNOT_OPEN_FILE = 5004, ERR_INVALID_FILEHANDLE = 5008, ERR_FILE_CANNOT_REWRITE = 5020 };
}  // namespace shared

// The file's path on the disk: in the terminal's sandbox, or with FILE_COMMON in the common
// folder; MQL's backslashes are the folder separators.
inline string sandboxPath(const string& name, int flags = 0) {
  string path =
      ((flags & shared::FILE_COMMON) != 0 ? T().commonFolder : T().filesFolder()) + "/" + name;
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}
// Whether an open of the file with these flags meets an open that does not share with it.
inline bool fileShared(const string& path, int flags) {
  using namespace shared;
  for (const FileUse& use : filesInUse()[path]) {
    const bool ours = ((flags & FILE_READ) == 0 || (use.flags & FILE_SHARE_READ) != 0) &&
                      ((flags & FILE_WRITE) == 0 || (use.flags & FILE_SHARE_WRITE) != 0);
    const bool theirs = ((use.flags & FILE_READ) == 0 || (flags & FILE_SHARE_READ) != 0) &&
                        ((use.flags & FILE_WRITE) == 0 || (flags & FILE_SHARE_WRITE) != 0);
    if (!ours || !theirs) return false;
  }
  return true;
}
inline OpenFile* openFile(int handle) {
  auto it = T().openFiles.find(handle);
  if (it == T().openFiles.end()) {
    T().lastError = ERR_INVALID_FILEHANDLE;
    return nullptr;
  }
  return &it->second;
}
// Another program of the computer (a virus scanner, a backup or sync tool) opens one of the EA's
// files with these flags (FILE_READ, FILE_SHARE_READ, ...; common: in the common folder) and
// keeps it open until outsideRelease.
inline const int outsideProgram = 0;
inline void outsideHold(const string& name, int flags, bool common = false) {
  filesInUse()[sandboxPath(name, common ? shared::FILE_COMMON : 0)].push_back(
      {&outsideProgram, 0, flags});
}
inline void outsideRelease(const string& name, bool common = false) {
  std::erase_if(filesInUse()[sandboxPath(name, common ? shared::FILE_COMMON : 0)],
                [](const FileUse& use) { return use.terminal == &outsideProgram; });
}
// Whether any program has the file open.
inline bool fileOpen(const string& path) {
  auto it = filesInUse().find(path);
  return it != filesInUse().end() && !it->second.empty();
}
// The disk takes a file's bytes unless the script says it is full or read-only.
inline bool store(const OpenFile& file) {
  if (!T().filesWritable) return false;
  std::ofstream out(file.path, std::ios::binary | std::ios::trunc);
  out << file.text;
  return static_cast<bool>(out);
}

namespace shared {

// docs.mql4.com/files/fileisexist
inline bool FileIsExist(const string file_name, int common_flag = 0) {
  return std::filesystem::is_regular_file(sandboxPath(file_name, common_flag));
}
// docs.mql4.com/files/fileopen: INVALID_HANDLE for a file to read that is not there, one to write
// that the disk refuses, or one another program holds without sharing it (FILE_SHARE_READ,
// FILE_SHARE_WRITE: docs.mql4.com/constants/io_constants/fileflags); opened to write only, the
// file starts empty, its folders made.
inline int FileOpen(string file_name, int open_flags, short delimiter = ';',
                    uint codepage = CP_ACP) {
  (void)delimiter;
  (void)codepage;
  OpenFile file{sandboxPath(file_name, open_flags), (open_flags & FILE_WRITE) != 0, {}, 0};
  if (!fileShared(file.path, open_flags)) {
    T().lastError = ERR_CANNOT_OPEN_FILE;
    return INVALID_HANDLE;
  }
  std::ifstream in(file.path, std::ios::binary);
  if (in) file.text.assign(std::istreambuf_iterator<char>(in), {});
  const bool fresh = file.writing && (open_flags & FILE_READ) == 0;
  if (fresh) file.text.clear();
  std::error_code ignored;
  if (file.writing && T().filesWritable)
    std::filesystem::create_directories(std::filesystem::path(file.path).parent_path(), ignored);
  if ((!in && !file.writing) || (file.writing && !store(file))) {
    T().lastError = ERR_CANNOT_OPEN_FILE;
    return INVALID_HANDLE;
  }
  const int handle = T().nextFile++;
  T().openFiles[handle] = file;
  filesInUse()[file.path].push_back({&T(), handle, open_flags});
  return handle;
}
// docs.mql4.com/files/filewritestring: in a text file a '\n' without '\r' before it gets one;
// returns the bytes written, 0 on an error
inline uint FileWriteString(int file_handle, const string text_string, int length = -1) {
  (void)length;
  OpenFile* file = openFile(file_handle);
  if (!file || !file->writing) return 0;
  string text;
  for (size_t i = 0; i < text_string.size(); ++i) {
    if (text_string[i] == '\n' && (i == 0 || text_string[i - 1] != '\r')) text += '\r';
    text += text_string[i];
  }
  file->text += text;
  return static_cast<uint>(text.size());
}
// docs.mql4.com/files/filereadstring: in a text file, up to the end of the line
inline string FileReadString(int file_handle, int length = -1) {
  (void)length;
  OpenFile* file = openFile(file_handle);
  if (!file || file->at >= file->text.size()) return {};
  size_t end = file->text.find('\n', file->at);
  if (end == string::npos) end = file->text.size();
  string line = file->text.substr(file->at, end - file->at);
  file->at = end + 1;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}
// docs.mql4.com/files/fileisending
inline bool FileIsEnding(int file_handle) {
  OpenFile* file = openFile(file_handle);
  return !file || file->at >= file->text.size();
}
// docs.mql4.com/files/fileflush
inline void FileFlush(int file_handle) {
  OpenFile* file = openFile(file_handle);
  if (file && file->writing) store(*file);
}
// docs.mql4.com/files/fileclose
inline void FileClose(int file_handle) {
  OpenFile* file = openFile(file_handle);
  if (!file) return;
  if (file->writing) store(*file);
  std::erase_if(filesInUse()[file->path], [&](const FileUse& use) {
    return use.terminal == &T() && use.handle == file_handle;
  });
  T().openFiles.erase(file_handle);
}
// docs.mql4.com/files/filemove: an existing destination is replaced only with FILE_REWRITE; as
// Windows renames, neither file may be open in any program (the MQL share flags share reading
// and writing, never the file's replacement: docs.mql4.com/constants/io_constants/fileflags)
inline bool FileMove(const string src_file_name, int common_flag, const string dst_file_name,
                     int mode_flags) {
  const string from = sandboxPath(src_file_name, common_flag),
               to = sandboxPath(dst_file_name, mode_flags);
  std::error_code error;
  if (!T().filesWritable || !std::filesystem::is_regular_file(from) || fileOpen(from) ||
      fileOpen(to) || (std::filesystem::exists(to) && (mode_flags & FILE_REWRITE) == 0)) {
    T().lastError = ERR_FILE_CANNOT_REWRITE;
    return false;
  }
  std::filesystem::rename(from, to, error);
  return !error;
}
// docs.mql4.com/files/filedelete
inline bool FileDelete(const string file_name, int common_flag = 0) {
  std::error_code ignored;
  return std::filesystem::remove(sandboxPath(file_name, common_flag), ignored);
}

}  // namespace shared
}  // namespace mql
