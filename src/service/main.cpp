#include <cstdio>

int main()
{
    std::fputs("quillmarc: not built yet\n", stderr);
    return 1;
}
