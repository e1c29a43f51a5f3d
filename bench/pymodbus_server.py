#!/usr/bin/python3
"""pymodbus's own TCP server, answering from its datastore: a second baseline
for dio-cli serve. Listens on 127.0.0.1 at PORT until ended."""
import sys

from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
from pymodbus.server import StartTcpServer

block = ModbusSequentialDataBlock(0, [0] * 200)
store = ModbusSlaveContext(di=block, co=block, hr=block, ir=block)
StartTcpServer(context=ModbusServerContext(slaves=store, single=True),
               address=("127.0.0.1", int(sys.argv[1])))
