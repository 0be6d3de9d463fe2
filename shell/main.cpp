// Program entry of rentdesk (the main loop is wired here as it lands).
int main() {
    return 1;
}
