#include "FileSharing.h"

#include <QFile>

#ifdef Q_OS_WIN
#include <windows.h>

#include <aclapi.h>
#endif

namespace testfiles {

bool share(const QString& path, bool withEveryone) {
#ifdef Q_OS_WIN
    // The process's user, who owns the files it writes.
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    alignas(TOKEN_USER) char user[256];
    DWORD size = 0;
    const bool known = GetTokenInformation(token, TokenUser, user, sizeof user, &size);
    CloseHandle(token);
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    if (!known ||
        !AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone))
        return false;
    alignas(ACL) char list[512];
    auto* acl = reinterpret_cast<PACL>(list);
    bool built = InitializeAcl(acl, sizeof list, ACL_REVISION) &&
                 AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL,
                                     reinterpret_cast<TOKEN_USER*>(user)->User.Sid);
    if (built && withEveryone)
        built = AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_READ, everyone);
    // Protected: nothing inherited from the folder joins the list.
    const bool set =
        built &&
        SetNamedSecurityInfoW(reinterpret_cast<wchar_t*>(QString(path).replace(u'/', u'\\').data()),
                              SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, acl, nullptr) == ERROR_SUCCESS;
    FreeSid(everyone);
    return set;
#else
    return QFile::setPermissions(
        path, QFile::ReadOwner | QFile::WriteOwner |
                  (withEveryone ? QFile::ReadGroup | QFile::ReadOther : QFile::Permissions()));
#endif
}

} // namespace testfiles
