/* exprcalc the usual way, on the C library: for comparison only. */
#include <stdio.h>

int main(void) {
    char line[81];
    unsigned x = 0;
    printf("Вычисление выражения: y = (10x - 5)^2\n");
    printf("Введите значение x: ");
    fflush(stdout);
    if (fgets(line, sizeof line, stdin))
        for (const char* p = line; *p >= '0' && *p <= '9'; ++p) x = x * 10 + (unsigned)(*p - '0');
    const unsigned t = x * 10 - 5;
    printf("Результат: %u\n", t * t);
    return 0;
}
