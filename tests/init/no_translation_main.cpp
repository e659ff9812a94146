// A program that only carries a version resource (no_translation.rc).
int main()
{
    return 0;
}
