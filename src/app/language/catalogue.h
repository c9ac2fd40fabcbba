#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tw {

// One message of the interface: its Korean and its English text, side by side. The English
// text is also the key into the translation tables of the other languages.
struct Message {
  const char* ko;
  const char* en;
};

struct Language {
  std::string_view code;
  std::string_view name;  // in the language itself, as the Language menu shows it
};

// In the order of the Language menu.
inline constexpr std::array<Language, 10> kLanguages{{{"en", "English"},
                                                      {"ko", "한국어"},
                                                      {"ja", "日本語"},
                                                      {"zh-Hans", "简体中文"},
                                                      {"zh-Hant", "繁體中文"},
                                                      {"es", "Español"},
                                                      {"fr", "Français"},
                                                      {"de", "Deutsch"},
                                                      {"pt", "Português"},
                                                      {"ru", "Русский"}}};

namespace msg {

inline constexpr Message kConfirmForceQuit{
    "'{0}' 을(를) 강제로 끝냅니다.\n\n저장하지 않은 작업이 있으면 사라질 수 있습니다. 계속할까요?",
    "Force '{0}' to quit?\n\nAny unsaved work in it may be lost."};
inline constexpr Message kConfirmRestartExplorer{
    "탐색기를 다시 시작합니다.\n\n작업 표시줄과 열려 있는 탐색기 창이 잠깐 사라졌다가 돌아옵니다. 계속할까요?",
    "Restart File Explorer?\n\nThe taskbar and open Explorer windows will disappear for a moment and come back."};
inline constexpr Message kConfirmRecycle{"휴지통으로 보낼까요?", "Move to the Recycle Bin?"};
inline constexpr Message kConfirmDeleteOnRestart{
    "다음에 PC 를 다시 시작할 때, 다른 프로그램이 열기 전에 지우도록 예약합니다.\n휴지통을 거치지 않고 바로 지워지며, 관리자 권한이 필요합니다. 계속할까요?",
    "Schedule it to be deleted the next time the PC restarts, before other programs can open it?\nIt is deleted for good (not to the Recycle Bin). Administrator permission is needed."};
inline constexpr Message kProtectedFolder{
    "Windows 나 사용자 기본 폴더라 지울 수 없습니다:\n{0}",
    "This is a Windows or user system folder and can't be deleted:\n{0}"};
inline constexpr Message kAndMore{"외 {0}개", "and {0} more"};
inline constexpr Message kScheduled{
    "예약했습니다. 다음에 PC 를 다시 시작하면 지워집니다 (휴지통을 거치지 않습니다).",
    "Scheduled. It will be deleted the next time the PC restarts (it does not go to the Recycle Bin)."};
inline constexpr Message kCouldNotSchedule{
    "예약하지 못했습니다 (관리자 권한을 허락하지 않았거나 지울 수 없는 곳입니다)",
    "Could not schedule it (administrator permission was not given, or it can't be deleted)"};
inline constexpr Message kNoPermissionToEnd{
    "권한이 없어 끄지 못했습니다. '관리자로 다시 찾기' 를 누르세요.",
    "No permission to end it. Click 'Search as administrator'."};
inline constexpr Message kWindowsRefusedEnding{"Windows 가 끄는 것을 허락하지 않았습니다", "Windows did not allow ending it"};
inline constexpr Message kPartOfWindowsCantEnd{
    "Windows 구성 요소라 끌 수 없습니다",
    "This is part of Windows and can't be ended"};
inline constexpr Message kStillRunning{"끝내라고 했지만 아직 끝나지 않았습니다", "Asked it to end, but it is still running"};
inline constexpr Message kCouldNotRestartExplorer{"탐색기를 다시 시작하지 못했습니다", "Could not restart File Explorer"};
inline constexpr Message kMovedToRecycleBin{"휴지통으로 보냈습니다", "Moved to the Recycle Bin"};
inline constexpr Message kStillCantDelete{
    "아직 지울 수 없습니다. 다시 찾기(↻)나 '다시 시작할 때 지우기' 를 써 보세요.",
    "Still can't delete it. Search again (↻) or try 'Delete on restart'."};
inline constexpr Message kDeepSearch{"자세히 찾기", "Deep search"};
inline constexpr Message kSearchAsAdministrator{"관리자로 다시 찾기", "Search as administrator"};
inline constexpr Message kMoveToRecycleBin{"휴지통으로 보내기", "Move to Recycle Bin"};
inline constexpr Message kScheduling{"예약하는 중…", "Scheduling…"};
inline constexpr Message kDeleteOnRestartScheduled{"다시 시작할 때 지우기 (예약됨)", "Delete on restart (scheduled)"};
inline constexpr Message kDeleteOnRestart{"다시 시작할 때 지우기", "Delete on restart"};
inline constexpr Message kForceQuit{"강제 종료", "Force quit"};
inline constexpr Message kClose{"닫기", "Close"};
inline constexpr Message kRestartExplorer{"탐색기 다시 시작", "Restart Explorer"};
inline constexpr Message kChooseFiles{"파일 고르기", "Choose files"};
inline constexpr Message kChooseFolder{"폴더 고르기", "Choose a folder"};
inline constexpr Message kStateClosing{"닫는 중", "Closing"};
inline constexpr Message kStateNotClosed{"닫히지 않았습니다", "Didn't close"};
inline constexpr Message kStateEnding{"끝내는 중", "Ending"};
inline constexpr Message kStateClosed{"닫혔습니다", "Closed"};
inline constexpr Message kStateRestarting{"다시 시작하는 중", "Restarting"};
inline constexpr Message kStateRestarted{"다시 시작했습니다", "Restarted"};
inline constexpr Message kStateFailed{"실패", "Failed"};
inline constexpr Message kTargetNotFound{"찾을 수 없음", "Not found"};
inline constexpr Message kTargetFolderCapped{"폴더 · 파일 {0}개까지 확인", "Folder · checked up to {0} files"};
inline constexpr Message kTargetFolderFiles{"폴더 · 안에 파일 {0}개", "Folder · {0} files inside"};
inline constexpr Message kTargetFile{"파일", "File"};
inline constexpr Message kFileCount{"파일 {0}개", "{0} files"};
inline constexpr Message kTargetFolder{"폴더", "Folder"};
inline constexpr Message kProgressListing{"폴더 안의 파일을 모으는 중 · {0}개", "Listing files in the folder · {0}"};
inline constexpr Message kProgressAskingWindows{
    "누가 쓰고 있는지 Windows 에 묻는 중 · 파일 {0}개",
    "Asking Windows who is using them · {0} files"};
inline constexpr Message kProgressDeepSearching{
    "열려 있는 파일 핸들을 모두 살펴보는 중 (자세히 찾기)",
    "Checking every open file handle (deep search)"};
inline constexpr Message kSearching{"찾는 중", "Searching"};
inline constexpr Message kDeepFoundNothing{
    "자세히 찾아도 잡고 있는 프로그램이 없습니다.",
    "Even a deep search found no program holding it."};
inline constexpr Message kTryDeepSearch{
    "그래도 지워지지 않으면 '자세히 찾기' 를 누르세요. Windows 가 알려 주지 않는 것까지 찾습니다.",
    "If it still won't delete, click 'Deep search'. It also finds things Windows doesn't report."};
inline constexpr Message kNoProgramHolding{"지금 잡고 있는 프로그램이 없습니다", "No program is holding it right now"};
inline constexpr Message kAllReleased{"모두 풀었습니다", "All released"};
inline constexpr Message kCanDeleteNow{
    "이제 지울 수 있습니다. 휴지통으로 보내거나 평소처럼 지우세요.",
    "You can delete it now. Move it to the Recycle Bin, or delete it as you normally would."};
inline constexpr Message kWindowsIsHolding{"Windows 구성 요소가 잡고 있습니다", "A part of Windows is holding it"};
inline constexpr Message kCantBeEnded{
    "끌 수 없는 프로그램입니다. PC 를 다시 시작한 뒤 지우거나 '다시 시작할 때 지우기' 를 누르세요.",
    "It can't be ended. Restart the PC and then delete it, or click 'Delete on restart'."};
inline constexpr Message kOneProgramHolding{"프로그램 1개가 잡고 있습니다", "1 program is holding it"};
inline constexpr Message kProgramsHolding{"프로그램 {0}개가 잡고 있습니다", "{0} programs are holding it"};
inline constexpr Message kCloseExplained{
    "'닫기' 는 프로그램에 창을 닫아 달라고 요청합니다. 저장하지 않은 것이 있으면 프로그램이 물어봅니다.",
    "'Close' asks the program to close its windows. If something is unsaved, the program will ask you."};
inline constexpr Message kDiagnosisGone{"더 이상 없습니다. 지워졌거나 옮겨졌습니다.", "It no longer exists. It was deleted or moved."};
inline constexpr Message kDiagnosisPathTooLong{
    "경로가 너무 깁니다 (260자 넘음). 상위 폴더 이름을 줄인 뒤 지우세요.",
    "The path is too long (over 260 characters). Shorten a parent folder's name, then delete it."};
inline constexpr Message kDiagnosisReadOnlyInside{
    "안에 읽기 전용 파일이 {0}개 있습니다. 지울 때 Windows 가 한 번 더 물어봅니다.",
    "It has {0} read-only files inside. Windows will ask again when you delete them."};
inline constexpr Message kDiagnosisReadOnlyFile{
    "읽기 전용 파일입니다. 지울 때 Windows 가 한 번 더 물어봅니다.",
    "It is a read-only file. Windows will ask again when you delete it."};
inline constexpr Message kDiagnosisNoPermission{
    "이 계정에는 지울 권한이 없습니다. 관리자 권한이나 소유자 변경이 필요할 수 있습니다.",
    "This account has no permission to delete it. It may need administrator rights or a change of owner."};
inline constexpr Message kDiagnosisUnseenTryDeep{
    "무언가 쓰고 있지만 찾지 못했습니다. '자세히 찾기' 를 해 보세요.",
    "Something is using it but wasn't found. Try 'Deep search'."};
inline constexpr Message kDiagnosisUnseenTryAdmin{
    "무언가 쓰고 있지만 찾지 못했습니다. '관리자로 다시 찾기' 를 해 보세요.",
    "Something is using it but wasn't found. Try 'Search as administrator'."};
inline constexpr Message kDiagnosisUnseenTryRestart{
    "무언가 쓰고 있지만 찾지 못했습니다. '다시 시작할 때 지우기' 를 해 보세요.",
    "Something is using it but wasn't found. Try 'Delete on restart'."};
inline constexpr Message kDiagnosisLooksDeletable{
    "지금은 지울 수 있어 보입니다. 다시 지워 보세요.",
    "It looks deletable now. Try deleting it again."};
inline constexpr Message kTooManyFiles{
    "파일이 너무 많아 처음 {0}개만 확인했습니다.",
    "There are very many files, so only the first {0} were checked."};
inline constexpr Message kTryDeepSearchFolder{
    "그래도 지워지지 않으면 '자세히 찾기' 를 누르세요. 폴더를 열어 둔 명령 프롬프트처럼 Windows 가 알려 주지 않는 것까지 찾습니다.",
    "If it still won't delete, click 'Deep search'. It also finds things Windows doesn't report, like a command prompt that has the folder open."};
inline constexpr Message kInaccessibleProcesses{
    "관리자나 다른 사용자로 실행 중인 프로그램은 확인하지 못했습니다 ({0}개). '관리자로 다시 찾기' 를 누르세요.",
    "Programs run as administrator or by other users could not be checked ({0}). Click 'Search as administrator'."};
inline constexpr Message kDeepGaveUp{
    "응답하지 않는 핸들이 너무 많아 찾기를 일찍 멈췄습니다.",
    "Too many handles did not respond, so the search stopped early."};
inline constexpr Message kDeepSkippedHandles{
    "확인하다 멈출 수 있는 열린 항목은 건너뛰었습니다 ({0}개). 그중 하나가 잡고 있을 수 있습니다.",
    "Open items that could stall the search were skipped ({0}). One of them may be holding it."};
inline constexpr Message kRowWindowsComponent{
    "Windows 구성 요소라 끌 수 없음 → PC 를 다시 시작한 뒤 지우세요",
    "Part of Windows, can't be ended → restart the PC, then delete it"};
inline constexpr Message kRowService{
    "Windows 서비스라 끌 수 없음 → PC 를 다시 시작한 뒤 지우세요",
    "A Windows service, can't be ended → restart the PC, then delete it"};
inline constexpr Message kRowNoWindowForceQuit{
    "창이 없는 프로그램입니다. 끝내려면 '강제 종료' 를 누르세요.",
    "It has no window. Click 'Force quit' to end it."};
inline constexpr Message kRowMayAskToSave{
    "저장할지 묻는 창이 떠 있을 수 있습니다. 확인하거나 '강제 종료' 하세요.",
    "It may be asking you to save. Check it, or click 'Force quit'."};
inline constexpr Message kRowExplorer{
    "탐색기는 닫지 않고 다시 시작합니다 (작업 표시줄이 잠깐 사라집니다)",
    "Explorer is restarted, not closed (the taskbar disappears for a moment)"};
inline constexpr Message kRowNoWindow{
    "창 없음 (명령 프롬프트, 백그라운드 작업 등)",
    "No window (a command prompt, background task, etc.)"};
inline constexpr Message kRowFileInFolder{"폴더 안의 파일", "a file in the folder"};
inline constexpr Message kNameAndMore{"{0} 외 {1}개", "{0} and {1} more"};
inline constexpr Message kRowHolding{"잡고 있는 것:", "Holding:"};
inline constexpr Message kEmptyDropHere{
    "지워지지 않는 파일이나 폴더를 여기에 끌어다 놓으세요",
    "Drop a file or folder that won't delete here"};
inline constexpr Message kEmptyTagline{
    "Tarnwick 이 어떤 프로그램이 잡고 있는지 찾아서 풀어 줍니다",
    "Tarnwick finds which program is holding it and lets it go"};
inline constexpr Message kEmptyExplorerHint{
    "파일 탐색기에서 마우스 오른쪽 단추 → 'Tarnwick 으로 잠금 풀기' 로도 쓸 수 있습니다 (Windows 11 에서는 '더 많은 옵션 표시' 안에 있습니다).",
    "You can also right-click in File Explorer → 'Unlock with Tarnwick' (on Windows 11, under 'Show more options')."};
inline constexpr Message kEmptyAddToMenuHint{
    "메뉴(☰)에서 파일 탐색기의 오른쪽 단추 메뉴에 넣을 수 있습니다.",
    "You can add it to File Explorer's right-click menu from the menu (☰)."};
inline constexpr Message kPickerFolderTitle{"잠금을 풀 폴더", "Folder to unlock"};
inline constexpr Message kPickerFilesTitle{"잠금을 풀 파일", "Files to unlock"};
inline constexpr Message kMenuChooseFiles{"파일 고르기…", "Choose files…"};
inline constexpr Message kMenuChooseFolder{"폴더 고르기…", "Choose a folder…"};
inline constexpr Message kFollowWindows{"Windows 언어 따라가기", "Follow Windows"};
inline constexpr Message kLanguage{"언어", "Language"};
inline constexpr Message kRemoveFromExplorerMenu{"파일 탐색기 메뉴에서 빼기", "Remove from File Explorer menu"};
inline constexpr Message kAddToExplorerMenu{"파일 탐색기 메뉴에 넣기", "Add to File Explorer menu"};
inline constexpr Message kAutomaticUpdates{"자동 업데이트", "Automatic updates"};
inline constexpr Message kCheckForUpdates{"업데이트 확인", "Check for updates"};
inline constexpr Message kMoreApps{"Brellam 의 다른 앱", "More apps from Brellam"};
inline constexpr Message kAbout{"Tarnwick 정보", "About Tarnwick"};
inline constexpr Message kRemovedFromExplorerMenu{
    "파일 탐색기의 오른쪽 단추 메뉴에서 뺐습니다",
    "Removed from File Explorer's right-click menu"};
inline constexpr Message kAddedToExplorerMenu{
    "파일 탐색기의 오른쪽 단추 메뉴에 넣었습니다",
    "Added to File Explorer's right-click menu"};
inline constexpr Message kAboutText{
    "다른 프로그램이 쓰고 있어서 지워지지 않는 파일과 폴더를 풀어 주는 무료 앱",
    "A free app that releases files and folders that won't delete because another program is using them"};
inline constexpr Message kTakesEffectNextStart{"다음에 열 때 바뀝니다", "Takes effect the next time Tarnwick opens"};
inline constexpr Message kAdministrator{"관리자", "Administrator"};
inline constexpr Message kCheckingForUpdates{"업데이트를 확인하는 중…", "Checking for updates…"};
inline constexpr Message kNewVersionAvailable{"새 버전이 나왔습니다:", "A new version is available:"};
inline constexpr Message kCurrentVersion{"지금", "current"};
inline constexpr Message kUpdateNow{"지금 업데이트합니다. 계속할까요?", "Update now?"};
inline constexpr Message kDownloadingUpdate{"업데이트를 내려받는 중…", "Downloading update…"};
inline constexpr Message kUpToDate{"최신 버전입니다", "You're up to date"};
inline constexpr Message kDownloadFailed{"내려받지 못했습니다", "Download failed"};
inline constexpr Message kDownloadSizeMismatch{"내려받은 파일의 크기가 맞지 않습니다", "Downloaded size mismatch"};
inline constexpr Message kDownloadHashMismatch{
    "내려받은 파일이 손상되었습니다 (해시 불일치)",
    "Downloaded file is corrupt (hash mismatch)"};
inline constexpr Message kSignatureNotVerified{
    "설치 프로그램의 디지털 서명을 확인하지 못했습니다",
    "The installer's digital signature could not be verified"};
inline constexpr Message kUnlockWithTarnwick{"Tarnwick 으로 잠금 풀기", "Unlock with Tarnwick"};
// The maker's web site; every language has its own page under it.
inline constexpr Message kWebSite{TW_MAKER_URL "ko/", TW_MAKER_URL};

}  // namespace msg

// Every message above, for tests and tools.
std::span<const Message* const> all_messages();

// The language Windows' display language calls for (only the primary language counts, but
// Chinese tells Simplified from Traditional by the whole identifier).
std::string_view language_for_langid(LANGID langid);

// The stored "Language" value when it is exactly one of the codes, else Windows' choice.
std::string_view choose_language(const std::optional<std::string>& stored, LANGID ui_langid);

// The interface language of this process, decided on first use and fixed afterwards.
std::string_view current_language();

// A few letters of the language's own script (UTF-8), all from its messages: the drawing
// layer chooses a font that writes them when the usual one is missing. Latin for unknown codes.
std::string_view script_letters(std::string_view language);

// The locale text in a language is laid out with ("ja-JP" for "ja"), so that characters that
// several scripts share take that language's forms.
std::wstring_view text_locale(std::string_view language);

// The message in the current language; English when a translation lacks it. Never copies.
std::string_view localized(const Message& message);

using TranslationTable = std::unordered_map<std::string, std::string>;
// The same for a given language and its table.
std::string_view localized_in(const Message& message, std::string_view language, const TranslationTable& table);

// Replaces "{0}", "{1}", ... by the arguments. Text that an argument brings in is never
// searched for placeholders, so a file called "{1}.txt" is shown as it is.
std::string fill_placeholders(std::string_view text, std::span<const std::string> arguments);

// The embedded translation document of a language ("{}" for English, Korean and unknown codes).
std::string_view translation_document(std::string_view code);

// A document's members; an empty table when it is not a JSON object of strings.
TranslationTable parse_translation(std::string_view document);

}  // namespace tw
