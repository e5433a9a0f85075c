#pragma once

// The service program's files besides its executable, all in the executable's folder: the
// window, the two mail modules and the drawing helper. A program folder needs every one.
namespace qm {

inline constexpr char kWindowModuleFile[] = "quillmarc-window.so";
inline constexpr char kPop3ModuleFile[] = "quillmarc-pop3.so";
inline constexpr char kMailModuleFile[] = "quillmarc-mail.so";
inline constexpr char kDrawHelperFile[] = "quillmarc-draw";
inline constexpr const char* kProgramCompanions[] = {kWindowModuleFile, kPop3ModuleFile,
                                                     kMailModuleFile, kDrawHelperFile};

} // namespace qm
