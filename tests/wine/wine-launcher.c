/* Runs a program under wine with the Qt variables put back: wine leaves
 * every QT_* variable out of a Windows program's environment, so
 * wine-run.sh passes each as ALARMCFG_WINEPASS_QT_*, and this restores it
 * before it starts the program and waits for it.
 *   wine wine-launcher.exe PROGRAM [ARGS...]
 * The arguments reach the program joined by blanks, unquoted, as _wspawnvp
 * passes them: none that the scripts give holds a blank. */
#include <process.h>
#include <stdlib.h>
#include <wchar.h>
#include <windows.h>

static const wchar_t kPrefix[] = L"ALARMCFG_WINEPASS_";

int wmain(int argc, wchar_t **argv)
{
    if (argc < 2)
        return 125;
    const size_t prefixLength = wcslen(kPrefix);
    /* A copy: the environment may change while it is walked. */
    wchar_t *block = GetEnvironmentStringsW();
    for (wchar_t *e = block; *e; e += wcslen(e) + 1) {
        if (wcsncmp(e, kPrefix, prefixLength) != 0)
            continue;
        wchar_t *eq = wcschr(e, L'=');
        if (!eq)
            continue;
        *eq = L'\0';
        _wputenv_s(e + prefixLength, eq + 1); /* the C runtime's copy and the process's */
        *eq = L'=';
    }
    FreeEnvironmentStringsW(block);
    return (int)_wspawnvp(_P_WAIT, argv[1], (const wchar_t *const *)(argv + 1));
}
