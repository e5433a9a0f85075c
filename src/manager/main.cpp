#include <cstdio>

int main()
{
    std::fputs("quillmarcB: not built yet\n", stderr);
    return 1;
}
