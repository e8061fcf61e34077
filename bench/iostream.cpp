// exprcalc the usual way in C++, on iostreams: for comparison only.
#include <cstdint>
#include <iostream>
#include <string>

int main() {
    std::cout << "Вычисление выражения: y = (10x - 5)^2\n"
              << "Введите значение x: " << std::flush;
    std::string line;
    std::getline(std::cin, line);
    std::uint32_t x = 0;
    for (std::size_t i = 0; i < line.size() && i < 80 && line[i] >= '0' && line[i] <= '9'; ++i)
        x = x * 10 + static_cast<std::uint32_t>(line[i] - '0');
    const std::uint32_t t = x * 10 - 5;
    std::cout << "Результат: " << t * t << '\n';
}
