// Linked with every object of one layer's library and only the libraries
// that layer names: the link fails when the layer uses a function of a layer
// above it.
int main() {
    return 0;
}
