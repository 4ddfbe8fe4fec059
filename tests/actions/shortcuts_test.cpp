// Shortcut files on the real desktop, Start menus and menu folders of a Wine prefix,
// read back through the shell-link object.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>

#include "actions/machine.h"
#include "actions/shortcuts.h"
#include "platform/guards.h"
#include "platform/libraries.h"
#include "platform/seam.h"

namespace {

const char kName[] = "PkgMgr Shortcut Test";
const std::string kRoot = "C:\\shortcut-test";
const std::string kPrograms = kRoot + "\\Programs";
const std::string kProgramFolder = kRoot + "\\PkgMgr";
// The installed application (two icons), named with two backslashes as the options step does.
const std::string kTarget = kProgramFolder + "\\\\PkgMgr.exe";

std::string shellFolder(int csidl)
{
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
    return path;
}

struct Link {
    std::string target = kAbsent, icon, workingFolder;
    int iconIndex = -1;
};

// Loads (icon empty) or writes a shortcut through the shell-link object.
Link linkFile(const std::string& path, const std::string& icon = "")
{
    Link link;
    ComScope com;
    ComPtr<IShellLinkA> shell;
    ComPtr<IPersistFile> file;
    WCHAR widePath[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, MAX_PATH);
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                shell.putVoid())) ||
        FAILED(shell->QueryInterface(IID_IPersistFile, file.putVoid())))
        return link;
    if (!icon.empty()) {
        shell->SetPath(kTarget.c_str());
        shell->SetIconLocation(icon.c_str(), 1);
        EXPECT_EQ(S_OK, file->Save(widePath, TRUE));
    } else if (SUCCEEDED(file->Load(widePath, STGM_READ))) {
        char text[MAX_PATH] = "";
        shell->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
        link.target = text;
        shell->GetIconLocation(text, MAX_PATH, &link.iconIndex);
        link.icon = text;
        shell->GetWorkingDirectory(text, MAX_PATH);
        link.workingFolder = text;
    }
    return link;
}

void expectProgramLink(const std::string& path)
{
    Link link = linkFile(path);
    // The shell-link object stores the target resolved; the icon location stays as given.
    EXPECT_EQ(kProgramFolder + "\\PkgMgr.exe", link.target) << path;
    EXPECT_EQ(kTarget, link.icon) << path;
    EXPECT_EQ(1, link.iconIndex) << path;
    EXPECT_EQ(kProgramFolder + "\\", link.workingFolder) << path;
}

HRESULT WINAPI refuseObject(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID* object)
{
    *object = nullptr;
    return REGDB_E_CLASSNOTREG;
}

class Shortcuts : public testing::Test {
protected:
    void SetUp() override
    {
        removeTree(kRoot);
        makeFolders(kPrograms);
        makeFolders(kProgramFolder);
        CopyFileA((moduleFolder() + "\\PkgMgr.exe").c_str(),
                  (kProgramFolder + "\\PkgMgr.exe").c_str(), FALSE);
    }
    void TearDown() override
    {
        platform = saved_;
        removeTree(kRoot);
        for (int csidl : {CSIDL_DESKTOP, CSIDL_COMMON_STARTMENU, CSIDL_STARTMENU}) {
            DeleteFileA((shellFolder(csidl) + "\\" + kName + ".lnk").c_str());
            DeleteFileA((shellFolder(csidl) + "\\Tool 1.5.lnk").c_str());
        }
    }
    PlatformSeam saved_ = platform;
};

struct NamedKind {
    int (*apply)(const char*, const char*, uint32_t);
    int (*exists)(const char*);
    int csidl;  // where the NT family keeps it
};

// The program's second icon, on the current user's desktop and in the all-users Start
// menu; a cleared box or an uninstall removes them, also under a name that ends like
// an extension ("Tool 1.5").
TEST_F(Shortcuts, DesktopAndStartMenuOnNt)
{
    ASSERT_EQ(2u, ExtractIconExA(kTarget.c_str(), -1, nullptr, nullptr, 0));
    for (NamedKind kind : {NamedKind{applyDesktopShortcut, desktopShortcutExists, CSIDL_DESKTOP},
                           NamedKind{applyStartMenuShortcut, startMenuShortcutExists,
                                     CSIDL_COMMON_STARTMENU}}) {
        SCOPED_TRACE(kind.csidl);
        const std::string link = shellFolder(kind.csidl) + "\\" + kName + ".lnk";
        EXPECT_EQ(0, kind.exists(kName));
        ASSERT_EQ(1, kind.apply(kTarget.c_str(), kName, 1));
        expectProgramLink(link);
        EXPECT_EQ(1, kind.exists(kName));
        EXPECT_EQ(1, kind.apply(kTarget.c_str(), kName, 0));
        EXPECT_FALSE(exists(link));
        EXPECT_EQ(0, kind.exists(kName));
        EXPECT_EQ(1, kind.apply(nullptr, kName, 0));

        const std::string versioned = shellFolder(kind.csidl) + "\\Tool 1.5.lnk";
        ASSERT_EQ(1, kind.apply(kTarget.c_str(), "Tool 1.5", 1));
        expectProgramLink(versioned);
        EXPECT_EQ(1, kind.exists("Tool 1.5"));
        EXPECT_EQ(1, kind.apply(nullptr, "Tool 1.5", 0));
        EXPECT_FALSE(exists(versioned));
    }
    ASSERT_EQ(1, applyStartMenuShortcut(kTarget.c_str(), kName, 1));
    EXPECT_FALSE(exists(shellFolder(CSIDL_STARTMENU) + "\\" + kName + ".lnk"));
}

TEST_F(Shortcuts, CreateFailures)
{
    const std::string longName(250, 'n');  // the desktop path would pass 260 characters
    EXPECT_EQ(0, applyDesktopShortcut(kTarget.c_str(), longName.c_str(), 1));
    EXPECT_EQ(0, desktopShortcutExists(longName.c_str()));
    EXPECT_EQ(1, applyDesktopShortcut(nullptr, longName.c_str(), 0));
    EXPECT_EQ(0, applyDesktopShortcut(nullptr, kName, 1));
    const std::string folder = kPrograms + "\\Tools";
    const std::string longPath = folder + "\\" + std::string(230, 'n') + ".lnk";
    EXPECT_EQ(0, applyMenuShortcut(kTarget.c_str(), longPath.c_str(), folder.c_str(), 1));
    const std::string longFolder = kPrograms + "\\" + std::string(240, 'f');
    EXPECT_EQ(0, applyMenuShortcut(kTarget.c_str(), (longFolder + "\\a.lnk").c_str(),
                                   longFolder.c_str(), 1));
    removeLegacyMenuShortcuts(kTarget.c_str(), (longFolder + "\\" + longFolder).c_str());
    const std::string orphan = kPrograms + "\\Missing\\Tools";  // parents are not made
    EXPECT_EQ(0, applyMenuShortcut(kTarget.c_str(), (orphan + "\\a.lnk").c_str(), orphan.c_str(), 1));
    EXPECT_FALSE(exists(kPrograms + "\\Missing"));

    platform.CoCreateInstance = refuseObject;
    EXPECT_EQ(0, applyDesktopShortcut(kTarget.c_str(), kName, 1));
    EXPECT_EQ(0, applyMenuShortcut(kTarget.c_str(), (folder + "\\a.lnk").c_str(), folder.c_str(), 1));
    EXPECT_FALSE(exists(shellFolder(CSIDL_DESKTOP) + "\\" + kName + ".lnk"));
    EXPECT_FALSE(exists(folder + "\\a.lnk"));
}

// A renamed product's old shortcut goes first, even when that empties the menu folder,
// which the new shortcut then makes again; uninstall removes the folder only when empty.
TEST_F(Shortcuts, MenuFolderLifecycle)
{
    const std::string folder = kPrograms + "\\Tools";
    const std::string oldLink = folder + "\\Old Name.lnk", newLink = folder + "\\New Name.lnk";
    ASSERT_EQ(1, applyMenuShortcut(kTarget.c_str(), oldLink.c_str(), folder.c_str(), 1));
    expectProgramLink(oldLink);
    EXPECT_EQ(1, applyMenuShortcut(kTarget.c_str(), oldLink.c_str(), folder.c_str(), 0));
    EXPECT_FALSE(exists(folder));
    ASSERT_EQ(1, applyMenuShortcut(kTarget.c_str(), newLink.c_str(), folder.c_str(), 1));
    expectProgramLink(newLink);
    EXPECT_EQ(Names{"New Name.lnk"}, folderContents(folder));

    writeFile(folder + "\\readme.txt", "other");
    EXPECT_EQ(1, applyMenuShortcut(nullptr, newLink.c_str(), folder.c_str(), 0));
    EXPECT_EQ(Names{"readme.txt"}, folderContents(folder));
    DeleteFileA((folder + "\\readme.txt").c_str());
    EXPECT_EQ(1, applyMenuShortcut(nullptr, newLink.c_str(), folder.c_str(), 0));
    EXPECT_FALSE(exists(folder));
}

// In each legacy sibling of the menu folder the first shortcut whose icon is the program
// (any case) goes, and the folder with it when nothing else is left.
TEST_F(Shortcuts, LegacyFoldersLoseTheFirstMatchingShortcut)
{
    const std::string veltrano = kPrograms + "\\Veltrano", access = kPrograms + "\\Access QUVO";
    makeFolders(veltrano);
    makeFolders(access);
    makeFolders(kRoot + "\\Veltrano");  // not a sibling of the menu folder
    linkFile(veltrano + "\\PkgMgr.lnk", "C:\\SHORTCUT-TEST\\PKGMGR\\\\PKGMGR.EXE");
    linkFile(access + "\\One.lnk", kTarget);
    linkFile(access + "\\Two.lnk", kTarget);
    linkFile(access + "\\Other.lnk", "C:\\other\\Other.exe");
    linkFile(kRoot + "\\Veltrano\\PkgMgr.lnk", kTarget);

    const std::string folder = kPrograms + "\\Tools";
    ASSERT_EQ(1, applyMenuShortcut(kTarget.c_str(), (folder + "\\New.lnk").c_str(), folder.c_str(), 1));
    expectProgramLink(folder + "\\New.lnk");
    EXPECT_FALSE(exists(veltrano));
    EXPECT_EQ(2u, folderContents(access).size());
    EXPECT_NE(exists(access + "\\One.lnk"), exists(access + "\\Two.lnk"));
    EXPECT_TRUE(exists(access + "\\Other.lnk"));
    EXPECT_TRUE(exists(kRoot + "\\Veltrano\\PkgMgr.lnk"));
}

// A menu folder that itself carries a legacy name: the clean-up empties and removes it,
// and the shortcut is still saved into it.
TEST_F(Shortcuts, MenuFolderWithALegacyName)
{
    for (const char* legacy : {"Veltrano", "Access QUVO"}) {
        SCOPED_TRACE(legacy);
        const std::string folder = kPrograms + "\\" + legacy;
        makeFolders(folder);
        linkFile(folder + "\\Earlier.lnk", kTarget);
        ASSERT_EQ(1, applyMenuShortcut(kTarget.c_str(), (folder + "\\PkgMgr.lnk").c_str(),
                                       folder.c_str(), 1));
        EXPECT_EQ(Names{"PkgMgr.lnk"}, folderContents(folder));
        expectProgramLink(folder + "\\PkgMgr.lnk");
    }
}

// Windows 9x keeps the Start-menu shortcut in the user's own Start menu.
TEST_F(Shortcuts, StartMenu9xIsPerUser)
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    ASSERT_EQ(DWORD(VER_PLATFORM_WIN32_WINDOWS), version.dwPlatformId);
    const std::string link = shellFolder(CSIDL_STARTMENU) + "\\" + kName + ".lnk";
    ASSERT_EQ(1, applyStartMenuShortcut(kTarget.c_str(), kName, 1));
    expectProgramLink(link);
    EXPECT_FALSE(exists(shellFolder(CSIDL_COMMON_STARTMENU) + "\\" + kName + ".lnk"));
    EXPECT_EQ(1, startMenuShortcutExists(kName));
    EXPECT_EQ(1, applyStartMenuShortcut(nullptr, kName, 0));
    EXPECT_FALSE(exists(link));
}

}  // namespace
