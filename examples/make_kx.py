"""Writes horizontal conductivities for the sample model (12 x 8 cells, 2 layers)
as matrix input text, scaled by the factor given as the first argument, such as
a calibration loop tries them: python3 make_kx.py 2 > kx.dat"""
import sys

NX, NY, NZ = 12, 8, 2
factor = float(sys.argv[1]) if len(sys.argv) > 1 else 1.0
print(NZ)  # one data set per layer, all for period 1
for layer in range(1, NZ + 1):
    print(1, layer)
    for row in range(NY):
        print(" ".join(f"{factor * (5.0 + 0.5 * col) / layer:g}" for col in range(NX)))
