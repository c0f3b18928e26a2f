"""Writes starting heads for the sample model (12 x 8 cells, 2 layers) as matrix
input text to standard output: python3 make_heads.py | kvcvrt-cli convert -i - ..."""
NX, NY, NZ = 12, 8, 2
print(NZ)
for layer in range(1, NZ + 1):
    print(1, layer)
    for row in range(NY):
        print(" ".join(f"{120.0 - 0.5 * col - 0.25 * row - layer:.2f}" for col in range(NX)))
