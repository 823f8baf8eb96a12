#include <cstdio>

int main()
{
  std::puts("quorin-mesh");
  return 0;
}
