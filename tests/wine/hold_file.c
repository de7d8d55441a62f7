/* Holds a file open the way another program can (a virus scanner, an
   editor): others may read it, but not write, rename or delete it, until
   this program is ended. Prints "held" once it has the file. */
#include <windows.h>
#include <stdio.h>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2)
        return 2;
    HANDLE h = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
    {
        printf("cannot open: %lu\n", GetLastError());
        return 1;
    }
    printf("held\n");
    fflush(stdout);
    Sleep(INFINITE);
    return 0;
}
