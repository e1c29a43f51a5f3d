// Linked with one of dio-cli's folders whole and only what that folder says
// it uses: the link fails where the folder calls into another it does not name.
int main() {
    return 0;
}
