#include "sample.h"

#include "common/paths.h"
#include "common/schema.h"
#include "platform/platform.h"
#include "platform/sim/sim.h"

namespace qf::reliability {

using platform::Root;

std::vector<Link> BuildSample(bool lastHolder, bool wow64) {
  using platform::kAttrHidden;
  using platform::kAttrReadOnly;
  sim::Reset();
  // Set up as the 32-bit installer writes it, on 64-bit Windows too.
  if (wow64) sim::SetWow64();
  std::vector<Link> links;
  auto link = [&](const std::string& path, const std::string& target, bool directory) {
    sim::MakeLink(path, target, directory);
    links.push_back(Link{path, target, directory});
  };

  // The uninstaller runs from the product's directory, which holds a file
  // named like one of a component's.
  sim::MakeFile(kHostDir + "\\logo.bmp");
  sim::MakeFile(kHostDir + "\\a.dat");
  sim::SetCwd(kHostDir);

  const std::string product = ProductVersionKey;
  sim::SetText(Root::LocalMachine, product, qf::UseSharedFiles, "TRUE");
  sim::SetText(Root::LocalMachine, product, qf::InstallAdmin, "1");
  sim::SetText(Root::LocalMachine, UnInstInfoKey, qf::UseSharedData, "1");
  sim::SetText(Root::LocalMachine, UnInstInfoKey, qf::UseSharedMSHelp, "");
  sim::SetDword(Root::LocalMachine, UnInstInfoKey, qf::UseSharedImages, 1);
  sim::SetText(Root::LocalMachine, SharedKey, qf::SharedFilesDir, kArea);

  const std::string data = JoinPath(SharedKey, qf::DataComponent);
  sim::SetDword(Root::LocalMachine, data, qf::UseCount, lastHolder ? 1 : 3);
  sim::SetText(Root::LocalMachine, data, qf::RootDir, kDataRoot);
  for (const char* file : {"a.dat", "sub\\b.dat", "sub\\deeper\\c.dat", "sub\\deeper\\deepest\\d.dat"})
    sim::MakeFile(kDataRoot + "\\" + file);

  // The help component lives outside the area and is named with dots.
  const std::string help = JoinPath(SharedKey, qf::HelpComponent);
  sim::SetText(Root::LocalMachine, help, qf::UseCount, "1");
  sim::SetText(Root::LocalMachine, help, qf::RootDir,
               "C:\\ProgramData\\Halvern\\Help\\Old\\..\\.\\Quillforge");
  for (const char* file : {"guide.hlp", "guide.cnt", "ref\\api.hlp", "ref\\deep\\index.hlp"})
    sim::MakeFile(kHelpRoot + "\\" + file);
  sim::MakeFile(kHelpRoot + "\\locked.hlp", kAttrReadOnly);
  sim::MakeFile("C:\\ProgramData\\Halvern\\Help\\other.hlp");
  for (const char* name : {"guide.hlp", "guide.cnt", "api.hlp", "index.hlp", "locked.hlp",
                           "other.hlp", "ref"})
    sim::SetText(Root::LocalMachine, HelpRegistrationKey, name, kHelpRoot);

  // The images hold links to a directory and to a file elsewhere, and a
  // hidden directory.  The count is stored without its terminating NUL.
  const std::string images = JoinPath(SharedKey, qf::ImagesComponent);
  sim::SetValue(Root::LocalMachine, images, qf::UseCount, platform::kRegSz, "1");
  sim::SetText(Root::LocalMachine, images, qf::RootDir, kImageRoot);
  for (const char* file : {"logo.bmp", "icons\\a.ico", "icons\\b.ico"})
    sim::MakeFile(kImageRoot + "\\" + file);
  sim::MakeDir(kImageRoot + "\\cache", kAttrHidden);
  sim::MakeFile(kImageRoot + "\\cache\\thumbs.db", kAttrHidden);
  sim::MakeFile("C:\\Users\\Public\\Pictures\\holiday.jpg");
  sim::MakeFile("C:\\Users\\Public\\Pictures\\2024\\party.jpg");
  sim::MakeFile("C:\\Windows\\icon.ico");
  link(kImageRoot + "\\linked", "C:\\Users\\Public\\Pictures", true);
  link(kImageRoot + "\\icons\\shortcut.ico", "C:\\Windows\\icon.ico", false);

  if (!lastHolder) {
    const std::string fonts = JoinPath(SharedKey, "Fonts");
    sim::SetText(Root::LocalMachine, fonts, qf::UseCount, "2");
    sim::SetText(Root::LocalMachine, fonts, qf::RootDir, kArea + "\\Fonts");
    sim::MakeFile(kArea + "\\Fonts\\serif.ttf");
  }

  // Per-user settings three levels deep, next to another version's.
  const std::string user = std::string(qf::UserSettingsKey);
  for (const char* key : {"Options", "Options\\Editor", "Options\\Editor\\Fonts",
                          "Options\\Editor\\Colors", "Recent", "Recent\\Files\\Pinned"})
    sim::SetText(Root::CurrentUser, user + "\\" + key, "Setting", "on");
  sim::SetText(Root::CurrentUser, user, "Language", "en");
  // A link key in the tree leads to another program's settings.
  sim::SetText(Root::CurrentUser, "Software\\Other\\Inner", "Setting", "keep");
  sim::SetText(Root::CurrentUser, "Software\\Other", "Setting", "keep");
  sim::MakeKeyLink(Root::CurrentUser, user + "\\Aliases\\Current", "Software\\Other");
  sim::SetText(Root::CurrentUser, std::string(ProductKey) + "\\2.5", "Language", "en");

  sim::AddLibrary(qf::FirstCompanion);
  sim::AddEntry(qf::FirstCompanion, qf::FirstCompanionEntry);
  sim::AddLibrary(qf::SecondCompanion);
  sim::AddEntry(qf::SecondCompanion, qf::VrxEntry);
  return links;
}

std::vector<Link> BuildOddSample() {
  std::vector<Link> links = BuildSample(/*lastHolder=*/true);
  sim::SetText(Root::LocalMachine, JoinPath(SharedKey, qf::DataComponent), qf::RootDir, "Data");
  sim::SetValue(Root::LocalMachine, JoinPath(SharedKey, qf::HelpComponent), qf::UseCount,
                platform::kRegDword, std::string(2, '\1'));
  sim::SetText(Root::LocalMachine, JoinPath(SharedKey, qf::ImagesComponent), qf::RootDir,
               kArea + "\\Gone");
  return links;
}

std::vector<Link> BuildForeignSample(bool keptArea) {
  std::vector<Link> links = BuildSample(/*lastHolder=*/true);
  if (keptArea) {
    sim::MakeDir("C:\\Users\\Public\\Documents");
    sim::SetText(Root::LocalMachine, SharedKey, qf::SharedFilesDir, "C:\\Users\\Public\\Documents\\");
    return links;
  }
  sim::SetText(Root::LocalMachine, JoinPath(SharedKey, qf::DataComponent), qf::RootDir, kArea + "\\");
  sim::SetText(Root::LocalMachine, JoinPath(SharedKey, qf::HelpComponent), qf::RootDir, "c:\\windows\\help\\..");
  const std::string fonts = JoinPath(SharedKey, "Fonts");
  sim::SetText(Root::LocalMachine, fonts, qf::UseCount, "2");
  sim::SetText(Root::LocalMachine, fonts, qf::RootDir, kImageRoot + "\\ICONS\\");
  return links;
}

std::vector<Link> BuildWow64Sample() {
  std::vector<Link> links = BuildSample(/*lastHolder=*/true, /*wow64=*/true);
  sim::MakeFile("C:\\Program Files\\Common Files\\System\\shared.dll");
  sim::MakeFile("C:\\Program Files (x86)\\Other\\other.exe");
  sim::SetText(Root::LocalMachine, JoinPath(SharedKey, qf::DataComponent), qf::RootDir,
               "c:\\program files\\common files\\");
  sim::SetText(Root::LocalMachine, JoinPath(SharedKey, qf::ImagesComponent), qf::RootDir,
               "C:\\Program Files (x86)\\Other\\..");
  // The help component on a share, which reaches local disks by other names.
  sim::SetText(Root::LocalMachine, JoinPath(SharedKey, qf::HelpComponent), qf::RootDir, "\\\\server\\share\\Help");
  sim::MakeFile("\\\\server\\share\\Help\\guide.hlp");
  return links;
}

std::vector<Link> BuildProgramsSample() {
  std::vector<Link> links = BuildSample(/*lastHolder=*/true);
  // Data holds this account's temporary folder; the help holds programs
  // listed per machine and per user; the images lie below the Windows
  // directory.  Lists that name nothing read besides.
  sim::SetSystemPlaces("C:\\Windows", "C:\\Windows\\System32", kDataRoot + "\\SUB\\");
  sim::SetText(Root::LocalMachine, std::string(UninstallKey) + "\\{5A17}", InstallLocation, "\"" + kHelpRoot + "\\ref\"");
  sim::SetText(Root::CurrentUser, std::string(AppPathsKey) + "\\tool.exe", "", kHelpRoot + "\\ref\\deep\\tool.exe");
  sim::SetText(Root::CurrentUser, std::string(UninstallKey) + "\\Mine", InstallLocation, "Mine");
  sim::SetText(Root::LocalMachine, JoinPath(SharedKey, qf::ImagesComponent), qf::RootDir, "c:\\WINDOWS\\Halvern\\Images");
  sim::MakeFile("C:\\Windows\\Halvern\\Images\\logo.bmp");
  return links;
}

std::vector<Link> BuildLinkedSample() {
  std::vector<Link> links = BuildSample(/*lastHolder=*/true);
  sim::LinkKeyAway(Root::LocalMachine, JoinPath(SharedKey, qf::ImagesComponent),
                   "Software\\Halvern\\Other Shared\\Image Files");
  // A name with a lone surrogate, stored as its CESU bytes: no UTF-8.
  sim::MakeFile(kDataRoot + "\\sub\\odd\xED\xA0\x80\\inner.dat");
  // The help component lies in another account's profile, listed as the
  // system writes it; a profile on a drive without its disc besides.
  const std::string profiles = std::string(ProfileListKey);
  sim::SetUpIn64BitView(true);
  sim::SetValue(Root::LocalMachine, profiles + "\\S-1-5-21-1-1001", ProfileImagePath, platform::kRegExpandSz,
                "%SystemDrive%\\Users\\other" + std::string(1, '\0'));
  sim::SetText(Root::LocalMachine, profiles + "\\S-1-5-21-1-1002", ProfileImagePath, "E:\\Users\\roaming");
  sim::SetUpIn64BitView(false);
  sim::SetDriveLocal('E', false);
  sim::SetText(Root::LocalMachine, JoinPath(SharedKey, qf::HelpComponent), qf::RootDir, "C:\\Users\\other\\AppData\\Help");
  sim::MakeFile("C:\\Users\\other\\AppData\\Help\\guide.hlp");
  return links;
}

}  // namespace qf::reliability
