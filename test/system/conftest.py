# The sandbox helpers live beside scripts/sandbox: the demo and the
# end-to-end benchmark use them too.
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "scripts"))
